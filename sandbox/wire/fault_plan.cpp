#include "wire/fault_plan.h"

#include <cctype>
#include <charconv>
#include <string>
#include <vector>

namespace sandbox::wire {
namespace {

// The words of a batch, upper-cased, split at blanks.
std::vector<std::string> upperWords(std::string_view sql) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : sql) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

std::optional<std::uint64_t> number(const std::string& text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

FaultPlan::Action FaultPlan::countBatch() {
    std::lock_guard lock(m_mutex);
    ++m_count;
    if (m_cutAt > 0 && m_count == m_cutAt) return Action::Cut;
    if (m_holdAt > 0 && m_count == m_holdAt) return Action::Hold;
    return Action::Run;
}

std::optional<Response> FaultPlan::control(std::string_view sql) {
    const std::vector<std::string> words = upperWords(sql);
    if (words.empty() || words[0] != "SANDBOX") return std::nullopt;
    Response response;
    std::lock_guard lock(m_mutex);
    if (words.size() == 2 && words[1] == "BATCHES") {
        RowSet rows;
        rows.columns.push_back(ColumnMeta{"batches", SqlType::BigInt, 8, 0, 0, false, false, ""});
        rows.rows.push_back({db::Value::integer(static_cast<std::int64_t>(m_count))});
        response.items = {std::move(rows), Done{true, 1, false}};
        return response;
    }
    const std::optional<std::uint64_t> at = words.size() == 4 && words[2] == "AT" ? number(words[3]) : std::nullopt;
    if (at && (words[1] == "CUT" || words[1] == "HOLD")) {
        (words[1] == "CUT" ? m_cutAt : m_holdAt) = *at;
        m_count = 0;
        response.items = {Done{false, 0, false}};
        return response;
    }
    return std::nullopt;
}

}  // namespace sandbox::wire
