#pragma once

#include <string>

namespace app {

// A message text as a console or a file shows it: every LF CR pair (the line break of
// message texts, app::kLfCr) becomes one line feed, and a lone CR one too.
// Example: "Erro: x\n\r\n\rDeseja continuar?" -> "Erro: x\n\nDeseja continuar?".
std::string plainMessageText(const std::string& text);

}  // namespace app
