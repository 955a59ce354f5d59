#include "app/message_text.h"

namespace app {

std::string plainMessageText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && i + 1 < text.size() && text[i + 1] == '\r') ++i;
        out += text[i] == '\r' ? '\n' : text[i];
    }
    return out;
}

}  // namespace app
