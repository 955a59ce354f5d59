#pragma once

#include <string>

namespace registry {

// An error as the classic runtime numbers and describes it.
struct ClassicError {
    long number = 0;
    std::string description;
};

// The exception in flight (call only inside a catch block) as a classic error: a
// db::Error keeps its number and description, running out of memory is 7 "Out of
// memory", anything else 51 "Internal error: " + what it says.
ClassicError currentError();

}  // namespace registry
