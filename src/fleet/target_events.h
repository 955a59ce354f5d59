#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fleet {

// What the process running one target tells the fleet, one line each on a pipe:
//   phase<TAB>A carregar definições: Indexes ...
//   progress<TAB>120<TAB>400
//   guard<TAB>raised            (also released, and found: the run met it raised)
//   counts<TAB>1203<TAB>2       (statements sent, and of them failed)
//   end<TAB>failed<TAB>Login failed for user 'sa'.
// Texts keep tabs, line breaks and backslashes as \t, \n and \\.
struct TargetEvent {
    enum class Kind { Phase, Progress, Guard, Counts, End };
    Kind kind = Kind::Phase;
    std::string text;  // phase text, guard event, outcome
    std::string detail;  // the end's error text
    long first = 0;      // progress value, statements
    long second = 0;     // progress maximum, failed statements
};

// The event as one line, its line break included.
// Example: {Progress, 120, 400} -> "progress\t120\t400\n".
std::string encodeEvent(const TargetEvent& event);

// The event of one line (without its line break); none for a line that is not one.
std::optional<TargetEvent> decodeEvent(std::string_view line);

}  // namespace fleet
