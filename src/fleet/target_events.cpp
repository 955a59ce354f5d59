#include "fleet/target_events.h"

#include <array>
#include <charconv>
#include <vector>

namespace fleet {
namespace {

constexpr std::array<std::string_view, 5> kKindNames{"phase", "progress", "guard", "counts", "end"};

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

std::string unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<long> number(std::string_view text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::string encodeEvent(const TargetEvent& event) {
    std::string line(kKindNames[static_cast<int>(event.kind)]);
    switch (event.kind) {
        case TargetEvent::Kind::Progress:
        case TargetEvent::Kind::Counts:
            line += '\t' + std::to_string(event.first) + '\t' + std::to_string(event.second);
            break;
        case TargetEvent::Kind::End:
            line += '\t' + escaped(event.text) + '\t' + escaped(event.detail);
            break;
        case TargetEvent::Kind::Phase:
        case TargetEvent::Kind::Guard:
            line += '\t' + escaped(event.text);
            break;
    }
    return line + '\n';
}

std::optional<TargetEvent> decodeEvent(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    TargetEvent event;
    std::size_t kind = 0;
    while (kind < kKindNames.size() && kKindNames[kind] != fields[0]) ++kind;
    if (kind == kKindNames.size()) return std::nullopt;
    event.kind = static_cast<TargetEvent::Kind>(kind);
    switch (event.kind) {
        case TargetEvent::Kind::Progress:
        case TargetEvent::Kind::Counts: {
            if (fields.size() != 3) return std::nullopt;
            const auto first = number(fields[1]);
            const auto second = number(fields[2]);
            if (!first || !second) return std::nullopt;
            event.first = *first;
            event.second = *second;
            return event;
        }
        case TargetEvent::Kind::End:
            if (fields.size() != 3) return std::nullopt;
            event.text = unescaped(fields[1]);
            event.detail = unescaped(fields[2]);
            return event;
        case TargetEvent::Kind::Phase:
        case TargetEvent::Kind::Guard:
            if (fields.size() != 2) return std::nullopt;
            event.text = unescaped(fields[1]);
            return event;
    }
    return std::nullopt;
}

}  // namespace fleet
