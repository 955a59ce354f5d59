#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace db {

using Bytes = std::vector<std::uint8_t>;

// A calendar date and time of day, as a record set delivers it. No time zone.
struct DateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    friend bool operator==(const DateTime&, const DateTime&) = default;

    // Days since 30 December 1899 with the time of day as fraction (OLE Automation date).
    // Example: 2004-03-07 12:00:00 -> 38053.5.
    double toOleDate() const;
    // The inverse of toOleDate; `oleDate` must be finite and within years 100 to 9999
    // (callers check the range they accept first: a cast past it is undefined).
    static DateTime fromOleDate(double oleDate);

    // Reads "yyyy-mm-dd", "yyyy-mm-dd hh:nn[:ss[.fff]]" and the same with a 'T'.
    static std::optional<DateTime> parse(std::string_view text);

    bool isValid() const;
};

// An exact decimal number kept as its text: an optional minus sign, digits, and an
// optional point followed by digits ("1234.5", "-0.0001"). Used for decimal, numeric and
// currency values so that nothing is rounded on the way.
struct Decimal {
    std::string text;
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

// One value of a field: null, integer, decimal text, double, Boolean, text (UTF-8),
// bytes or date-time. Copyable and cheap to move.
class Value {
public:
    enum class Kind { Null, Integer, Decimal, Double, Boolean, Text, Bytes, DateTime };

    Value() = default;
    static Value integer(std::int64_t v) { return Value(Storage(std::in_place_index<1>, v)); }
    static Value decimal(std::string text) { return Value(Storage(std::in_place_index<2>, Decimal{std::move(text)})); }
    static Value real(double v) { return Value(Storage(std::in_place_index<3>, v)); }
    static Value boolean(bool v) { return Value(Storage(std::in_place_index<4>, v)); }
    static Value text(std::string v) { return Value(Storage(std::in_place_index<5>, std::move(v))); }
    static Value bytes(Bytes v) { return Value(Storage(std::in_place_index<6>, std::move(v))); }
    static Value dateTime(DateTime v) { return Value(Storage(std::in_place_index<7>, v)); }

    Kind kind() const { return static_cast<Kind>(m_storage.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isNumber() const;  // integer, decimal, double or Boolean

    // Typed access; each throws db::Error (type mismatch) for another kind.
    std::int64_t asInteger() const;
    const std::string& asDecimalText() const;
    double asDouble() const;  // any number kind, converted
    bool asBoolean() const;
    const std::string& asText() const;
    const Bytes& asBytes() const;
    const DateTime& asDateTime() const;

    // The value's text form, independent of the process locale: integers in decimal,
    // decimals as kept, doubles in the shortest form that reads back to the same value,
    // Booleans "True"/"False", date-times "yyyy-mm-dd hh:nn:ss", bytes as raw characters.
    // Null gives the empty text.
    std::string toText() const;

    // Moves the value out and leaves null in its place. Example: text "x" -> returns text
    // "x", this is null. (The null is put in place directly: moving a null Value over it
    // makes GCC 12 at -O3 warn of the other alternatives' storage as uninitialized.)
    Value take() noexcept {
        Value taken(std::move(m_storage));
        m_storage.emplace<std::monostate>();
        return taken;
    }

    // True when the value is the empty text (not null, not blanks).
    bool isEmptyText() const { return kind() == Kind::Text && asText().empty(); }

    friend bool operator==(const Value&, const Value&) = default;

private:
    using Storage = std::variant<std::monostate, std::int64_t, Decimal, double, bool, std::string,
                                 Bytes, DateTime>;
    explicit Value(Storage s) : m_storage(std::move(s)) {}
    Storage m_storage;
};

// Shortest text that reads back to the same double, with a point as separator.
// Example: 0.1 -> "0.1", 1e21 -> "1E+21", 2.5 -> "2.5".
std::string formatDouble(double v);

// "yyyy-mm-dd hh:nn:ss" for a date-time. Example: 2004-03-07 14:05:09.
std::string formatDateTime(const DateTime& dt);

}  // namespace db
