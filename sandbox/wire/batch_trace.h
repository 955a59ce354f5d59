#pragma once

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

namespace sandbox::wire {

// Appends every batch the server receives to a file, one line per batch:
// "<connection id><TAB><batch text escaped>", so that a benchmark can replay exactly what
// a run sent. Thread-safe; each line is flushed as written.
class BatchTrace {
public:
    // Opens (creates or appends to) the file; throws std::runtime_error when it cannot.
    explicit BatchTrace(const std::filesystem::path& file);

    void record(int connectionId, std::string_view batch);

    // Backslash, line feed, carriage return and tab as \\, \n, \r, \t.
    // Example: "a\nb\\c" -> "a\\nb\\\\c".
    static std::string escape(std::string_view text);
    // The inverse of escape. Example: "a\\nb\\\\c" -> "a\nb\\c".
    static std::string unescape(std::string_view text);

private:
    std::mutex m_mutex;
    std::ofstream m_out;
};

}  // namespace sandbox::wire
