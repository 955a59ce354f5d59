#include "db/odbc/connection_string.h"

#include <algorithm>
#include <cctype>

#include "db/error.h"
#include "db/recordset.h"

namespace db::odbc {
namespace {

std::string_view trimBlanks(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool isPortNumber(std::string_view s) {
    if (s.empty() || s.size() > 5) return false;
    if (!std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    const int port = std::stoi(std::string(s));
    return port >= 1 && port <= 65535;
}

// Reads a key: the characters that `skip` accepts are passed over, then everything up to
// '=' is the key. Returns false when no '=' follows.
template <typename Skip>
bool readKey(std::string_view s, std::size_t& pos, std::string& key, Skip skip) {
    while (pos < s.size() && skip(s[pos])) ++pos;
    const auto equals = s.find('=', pos);
    if (pos >= s.size() || equals == std::string_view::npos) return false;
    key = std::string(s.substr(pos, equals - pos));
    pos = equals + 1;
    return true;
}

}  // namespace

DataSource parseDataSource(std::string_view dataSource) {
    DataSource result;
    std::string_view rest = trimBlanks(dataSource);
    if (const auto comma = rest.find(','); comma != std::string_view::npos) {
        const std::string_view port = trimBlanks(rest.substr(comma + 1));
        if (!isPortNumber(port)) {
            throw Error(errc::kUnreachable,
                        "Invalid port in the server name '" + std::string(dataSource) + "'.");
        }
        result.port = std::string(port);
        rest = trimBlanks(rest.substr(0, comma));
    }
    if (const auto slash = rest.find('\\'); slash != std::string_view::npos) {
        // A port names the instance's listener already; asking the browser service as well
        // would only add a round trip that can fail.
        if (result.port.empty()) result.instance = std::string(trimBlanks(rest.substr(slash + 1)));
        rest = trimBlanks(rest.substr(0, slash));
    }
    result.host = (rest.empty() || rest == "." || equalsIgnoreCase(rest, "(local)"))
                      ? "127.0.0.1"
                      : std::string(rest);
    return result;
}

std::string joinAttributes(const std::vector<Attribute>& attributes, BraceDialect dialect) {
    std::string out;
    for (const auto& [key, value] : attributes) {
        out += key;
        out += "={";
        for (char c : value) {
            out += c;
            if (c == '}' && dialect == BraceDialect::Standard) out += '}';
        }
        // tdsodbc 1.3.17 finds the end of a braced value by "};": without the ';' the
        // last value would run to the end of the string and keep its closing brace.
        out += "};";
    }
    return out;
}

std::vector<Attribute> parseAsDriverManager(std::string_view s) {
    std::vector<Attribute> result;
    std::size_t pos = 0;
    std::string key;
    auto blankOrSemicolon = [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) != 0 || c == ';';
    };
    while (readKey(s, pos, key, blankOrSemicolon)) {
        std::string value;
        if (pos < s.size() && s[pos] == '{') {
            ++pos;
            while (pos < s.size() && (s[pos] != '}' || (pos + 1 < s.size() && s[pos + 1] == '}'))) {
                if (s[pos] == '}') ++pos;
                value += s[pos++];
            }
            if (pos < s.size()) ++pos;  // the closing brace
        } else {
            const auto end = std::min(s.find(';', pos), s.size());
            value = std::string(s.substr(pos, end - pos));
            pos = end;
        }
        auto same = std::find_if(result.begin(), result.end(), [&](const Attribute& a) {
            return equalsIgnoreCase(a.first, key);
        });
        if (same != result.end()) {
            same->second = value;
        } else {
            result.emplace_back(key, value);
        }
    }
    return result;
}

std::vector<Attribute> parseAsFreeTds(std::string_view s) {
    std::vector<Attribute> result;
    std::size_t pos = 0;
    std::string key;
    while (true) {
        while (pos < s.size() && s[pos] == ';') ++pos;
        if (!readKey(s, pos, key, [](char c) { return c == ' '; })) break;
        std::size_t end;
        if (pos < s.size() && s[pos] == '{') {
            ++pos;
            end = std::min(s.find("};", pos), s.size());
            result.emplace_back(key, std::string(s.substr(pos, end - pos)));
            pos = end + 1;  // past the '}'; the ';' is skipped at the top
        } else {
            end = std::min(s.find(';', pos), s.size());
            result.emplace_back(key, std::string(s.substr(pos, end - pos)));
            pos = end;
        }
        if (pos >= s.size()) break;
    }
    return result;
}

bool isFreeTdsDriver(std::string_view driver, std::string_view library) {
    auto contains = [](std::string_view text, std::string_view word) {
        if (word.size() > text.size()) return false;
        for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
            if (equalsIgnoreCase(text.substr(i, word.size()), word)) return true;
        }
        return false;
    };
    return contains(driver, "freetds") || contains(driver, "libtdsodbc") ||
           contains(library, "libtdsodbc");
}

}  // namespace db::odbc
