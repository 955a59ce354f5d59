#include "wire/batch_trace.h"

#include <stdexcept>

namespace sandbox::wire {

BatchTrace::BatchTrace(const std::filesystem::path& file) : m_out(file, std::ios::app | std::ios::binary) {
    if (!m_out) throw std::runtime_error("cannot open the trace file " + file.string());
}

void BatchTrace::record(int connectionId, std::string_view batch) {
    const std::string line = std::to_string(connectionId) + '\t' + escape(batch) + '\n';
    std::lock_guard lock(m_mutex);
    m_out << line;
    m_out.flush();
}

std::string BatchTrace::escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out;
}

std::string BatchTrace::unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            default: out += text[i];
        }
    }
    return out;
}

}  // namespace sandbox::wire
