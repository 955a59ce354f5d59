#pragma once

#include <stdlib.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Sets environment variables (a null value unsets one) for the lifetime of this object
// and restores what they were afterwards.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(
        const std::vector<std::pair<std::string, std::optional<std::string>>>& values) {
        for (const auto& [name, value] : values) {
            const char* old = ::getenv(name.c_str());
            m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            set(name, value);
        }
    }
    ScopedEnvironment(const std::string& name, const std::optional<std::string>& value)
        : ScopedEnvironment(std::vector<std::pair<std::string, std::optional<std::string>>>{{name, value}}) {}
    ~ScopedEnvironment() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) set(it->first, it->second);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    static void set(const std::string& name, const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace testsupport
