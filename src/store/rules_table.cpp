#include "store/rules_table.h"

#include <charconv>

#include "db/error.h"
#include "store/sql_value.h"

namespace store {
namespace {

// A flag as a number, the way the rules table's columns are compared with 0: numbers
// and Booleans as they are (true is -1), numeric text read as a number. Any other
// value cannot be compared with a number.
double flagNumber(const db::Value& value) {
    if (value.isNumber()) return value.asDouble();
    if (value.kind() == db::Value::Kind::Text) {
        std::string_view text = value.asText();
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        double number = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (!text.empty() && ec == std::errc() && end == text.data() + text.size()) return number;
    }
    throw db::typeMismatchError();
}

// "equals 0": a null never equals 0.
bool equalsZero(const db::Value& value) { return !value.isNull() && flagNumber(value) == 0.0; }

// "is not 0": a null counts as false.
bool notZero(const db::Value& value) { return !value.isNull() && flagNumber(value) != 0.0; }

// The Boolean value of only_if_empty: a Boolean as it is, a number as "not 0", the
// words True and False in any letter case. A null has none.
bool booleanValue(const db::Value& value) {
    if (value.isNull()) throw db::Error(94, "Invalid use of Null");
    if (value.kind() == db::Value::Kind::Text) {
        if (db::equalsIgnoreCase(value.asText(), "True")) return true;
        if (db::equalsIgnoreCase(value.asText(), "False")) return false;
    }
    return flagNumber(value) != 0.0;
}

}  // namespace

std::string ruleRowQuery(std::string_view tableName) {
    return "SELECT * FROM tbSQLUpdate WHERE descrit = " +
           SQLValueForServer(tableName, 3);
}

RuleFlags ruleFlagsOf(const db::Recordset& ruleRows) {
    RuleFlags flags;
    if (ruleRows.eof()) return flags;
    // The four columns are required of every rule row, whatever its disable says, so
    // that a damaged rules table is noticed at its first rule row.
    const db::Value disable = ruleRows.field("disable").value();
    const db::Value onlyIfEmpty = ruleRows.field("only_if_empty").value();
    const db::Value forceUpdate = ruleRows.field("force_update").value();
    const db::Value deleteFirst = ruleRows.field("Delete_First").value();
    if (equalsZero(disable)) {
        flags.captureData = true;
        flags.onlyIfEmpty = booleanValue(onlyIfEmpty);
    }
    flags.forceUpdate = notZero(forceUpdate);
    flags.deleteFirst = notZero(deleteFirst);
    return flags;
}

RuleFlags readRuleFlags(db::Connection& server, std::string_view tableName) {
    db::Recordset rule = server.open(ruleRowQuery(tableName));
    const RuleFlags flags = ruleFlagsOf(rule);
    rule.close();
    return flags;
}

bool TableIsSkiped(std::string_view tableName,
                   const std::optional<std::vector<std::string>>& skippedTables) {
    if (!skippedTables) return false;
    for (const std::string& entry : *skippedTables) {
        if (entry == tableName) return true;
    }
    return false;
}

void addSkippedTable(std::optional<std::vector<std::string>>& skippedTables,
                     std::string tableName) {
    if (!skippedTables) skippedTables.emplace();
    skippedTables->push_back(std::move(tableName));
}

}  // namespace store
