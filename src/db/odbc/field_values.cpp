#include "db/odbc/field_values.h"

#include <charconv>
#include <cstdio>

namespace db::odbc {

std::string normalizeDecimalText(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    text = first == std::string_view::npos ? std::string_view() : text.substr(first);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);

    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::string_view whole = text;
    std::string_view fraction;
    if (const auto point = text.find('.'); point != std::string_view::npos) {
        whole = text.substr(0, point);
        fraction = text.substr(point + 1);
    }
    while (whole.size() > 1 && whole.front() == '0') whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);

    std::string out = whole.empty() ? "0" : std::string(whole);
    if (!fraction.empty()) {
        out += '.';
        out += fraction;
    }
    if (negative && out != "0") out.insert(out.begin(), '-');
    return out;
}

double singleToDouble(float value) {
    // to_chars and from_chars ignore the process locale, which may use a decimal comma.
    char text[32];
    const auto written = std::to_chars(text, text + sizeof(text), value);
    double result = value;
    std::from_chars(text, written.ptr, result);
    return result;
}

std::string guidText(const SQLGUID& guid) {
    char text[40];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                  static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

DateTime dateTimeFrom(const SQL_TIMESTAMP_STRUCT& ts) {
    DateTime dt;
    dt.year = ts.year;
    dt.month = ts.month;
    dt.day = ts.day;
    dt.hour = ts.hour;
    dt.minute = ts.minute;
    dt.second = ts.second;
    dt.millisecond = static_cast<int>((ts.fraction + 500000) / 1000000);
    if (dt.millisecond > 999) dt.millisecond = 999;
    return dt;
}

}  // namespace db::odbc
