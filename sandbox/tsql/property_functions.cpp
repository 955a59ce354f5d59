// The catalog functions scripts ask before they act: OBJECTPROPERTY, COLUMNPROPERTY,
// INDEXPROPERTY, SERVERPROPERTY, DATABASEPROPERTY(EX) and UPDATE(column) in a trigger.
// Each becomes a subquery over the catalog tables (or a constant), answering NULL where
// SQL Server 2000 answers NULL: an unknown object, column or property.
#include <unistd.h>

#include <array>
#include <cctype>
#include <utility>

#include "catalog/collation.h"
#include "catalog/server_error.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "tsql/translator.h"

namespace sandbox::tsql {
namespace {

using sqlite::quoteLiteral;

// The property functions read the catalog in a subquery whose own names cannot capture
// the names of the query around it: COLUMNPROPERTY(id, name, 'IsIdentity') FROM syscolumns
// must compare the outer row's id and name, so the subquery reads a derived table whose
// columns and alias are "~" names no T-SQL query writes. In the conditions below, $x
// stands for the catalog row's column x.
// Example: "trim($xtype) = 'U'" -> trim("~o"."~xtype") = 'U'.
std::string rowColumns(std::string_view condition, std::string_view alias) {
    std::string out;
    for (std::size_t i = 0; i < condition.size(); ++i) {
        if (condition[i] != '$') {
            out += condition[i];
            continue;
        }
        std::size_t end = i + 1;
        while (end < condition.size() && (std::isalnum(static_cast<unsigned char>(condition[end])) || condition[end] == '_'))
            ++end;
        out += "\"" + std::string(alias) + "\".\"~" + std::string(condition.substr(i + 1, end - i - 1)) + "\"";
        i = end - 1;
    }
    return out;
}

// The catalog table of each function, with the columns its conditions read.
constexpr const char* kObjectRow =
    "(SELECT id AS \"~id\", name AS \"~name\", xtype AS \"~xtype\", status AS \"~status\", "
    "parent_obj AS \"~parent_obj\", uid AS \"~uid\" FROM sysobjects) AS \"~o\"";
constexpr const char* kColumnRow =
    "(SELECT id AS \"~id\", name AS \"~name\", colstat AS \"~colstat\", isnullable AS \"~isnullable\", "
    "iscomputed AS \"~iscomputed\", prec AS \"~prec\", scale AS \"~scale\", isoutparam AS \"~isoutparam\" "
    "FROM syscolumns) AS \"~c\"";
constexpr const char* kIndexRow =
    "(SELECT id AS \"~id\", name AS \"~name\", indid AS \"~indid\", status AS \"~status\", "
    "OrigFillFactor AS \"~OrigFillFactor\" FROM sysindexes) AS \"~i\"";

// sp_settriggerorder's choice for one statement: "EXISTS (... position 'First' ...)".
#define TRIGGER_ORDER(event, position)                                                  \
    "EXISTS (SELECT 1 FROM \"~trigger_order\" t WHERE t.id = $id AND t.event = '" event \
    "' AND t.position = '" position "')"

// OBJECTPROPERTY: the condition on the sysobjects row that answers each property.
// Example: ('IsUserTable', id) -> (SELECT CASE WHEN (trim("~o"."~xtype") = 'U') THEN 1
// ELSE 0 END FROM (SELECT id AS "~id", ... FROM sysobjects) AS "~o" WHERE "~o"."~id" = id).
constexpr std::array<std::pair<std::string_view, std::string_view>, 55> kObjectProperties = {{
    {"isusertable", "trim($xtype) = 'U'"},
    {"issystemtable", "trim($xtype) = 'S'"},
    {"istable", "trim($xtype) IN ('U', 'S')"},
    {"isview", "trim($xtype) = 'V'"},
    {"isprocedure", "trim($xtype) = 'P'"},
    {"isextendedproc", "trim($xtype) = 'X'"},
    {"istrigger", "trim($xtype) = 'TR'"},
    {"isscalarfunction", "trim($xtype) = 'FN'"},
    {"isinlinefunction", "trim($xtype) = 'IF'"},
    {"istablefunction", "trim($xtype) = 'TF'"},
    {"isconstraint", "trim($xtype) IN ('C', 'D', 'F', 'PK', 'UQ') AND $parent_obj <> 0"},
    {"isforeignkey", "trim($xtype) = 'F'"},
    {"ischeckcnst", "trim($xtype) = 'C'"},
    {"isprimarykey", "trim($xtype) = 'PK'"},
    {"isuniquecnst", "trim($xtype) = 'UQ'"},
    {"isdefaultcnst", "trim($xtype) = 'D' AND $parent_obj <> 0"},
    {"isdefault", "trim($xtype) = 'D' AND $parent_obj = 0"},
    {"isrule", "trim($xtype) = 'R'"},
    {"ismsshipped", "trim($xtype) = 'S' OR $name IN ('sysconstraints', 'syssegments')"},
    {"isexecuted", "trim($xtype) IN ('P', 'X', 'TR', 'FN', 'IF', 'TF', 'RF')"},
    {"isreplproc", "0"},
    {"isquotedidenton", "($status & 1073741824) <> 0"},
    {"execisquotedidenton", "($status & 1073741824) <> 0"},
    {"execisansinullson", "($status & 536870912) <> 0"},
    {"isansinullson", "($status & 536870912) <> 0"},
    {"tablehasidentity",
     "EXISTS (SELECT 1 FROM syscolumns c WHERE c.id = $id AND (c.colstat & 1) <> 0)"},
    {"tablehasprimarykey",
     "EXISTS (SELECT 1 FROM sysobjects k WHERE k.parent_obj = $id AND trim(k.xtype) = 'PK')"},
    {"tablehasuniquecnst",
     "EXISTS (SELECT 1 FROM sysobjects k WHERE k.parent_obj = $id AND trim(k.xtype) = 'UQ')"},
    {"tablehasforeignkey",
     "EXISTS (SELECT 1 FROM sysobjects k WHERE k.parent_obj = $id AND trim(k.xtype) = 'F')"},
    {"tablehascheckcnst",
     "EXISTS (SELECT 1 FROM sysobjects k WHERE k.parent_obj = $id AND trim(k.xtype) = 'C')"},
    {"tablehasdefaultcnst",
     "EXISTS (SELECT 1 FROM sysobjects k WHERE k.parent_obj = $id AND trim(k.xtype) = 'D')"},
    {"tablehasforeignref", "EXISTS (SELECT 1 FROM sysforeignkeys f WHERE f.rkeyid = $id)"},
    {"tablehasclustindex", "EXISTS (SELECT 1 FROM sysindexes i WHERE i.id = $id AND i.indid = 1)"},
    {"tablehasindex",
     "EXISTS (SELECT 1 FROM sysindexes i WHERE i.id = $id AND i.indid BETWEEN 1 AND 250)"},
    {"tablehastextimage",
     "EXISTS (SELECT 1 FROM sysindexes i WHERE i.id = $id AND i.indid = 255)"},
    {"tablehasinserttrigger",
     "EXISTS (SELECT 1 FROM \"~triggers\" t WHERE t.table_id = $id AND t.on_insert <> 0)"},
    {"tablehasupdatetrigger",
     "EXISTS (SELECT 1 FROM \"~triggers\" t WHERE t.table_id = $id AND t.on_update <> 0)"},
    {"tablehasdeletetrigger",
     "EXISTS (SELECT 1 FROM \"~triggers\" t WHERE t.table_id = $id AND t.on_delete <> 0)"},
    {"execisinserttrigger",
     "EXISTS (SELECT 1 FROM \"~triggers\" t WHERE t.id = $id AND t.on_insert <> 0)"},
    {"execisupdatetrigger",
     "EXISTS (SELECT 1 FROM \"~triggers\" t WHERE t.id = $id AND t.on_update <> 0)"},
    {"execisdeletetrigger",
     "EXISTS (SELECT 1 FROM \"~triggers\" t WHERE t.id = $id AND t.on_delete <> 0)"},
    {"execisaftertrigger",
     "EXISTS (SELECT 1 FROM \"~triggers\" t WHERE t.id = $id AND t.instead_of = 0)"},
    {"execisinsteadoftrigger",
     "EXISTS (SELECT 1 FROM \"~triggers\" t WHERE t.id = $id AND t.instead_of <> 0)"},
    {"execistriggerdisabled", "trim($xtype) = 'TR' AND ($status & 2048) <> 0"},
    {"execisfirstinserttrigger", TRIGGER_ORDER("INSERT", "First")},
    {"execisfirstupdatetrigger", TRIGGER_ORDER("UPDATE", "First")},
    {"execisfirstdeletetrigger", TRIGGER_ORDER("DELETE", "First")},
    {"execislastinserttrigger", TRIGGER_ORDER("INSERT", "Last")},
    {"execislastupdatetrigger", TRIGGER_ORDER("UPDATE", "Last")},
    {"execislastdeletetrigger", TRIGGER_ORDER("DELETE", "Last")},
    {"cnstisdisabled", "trim($xtype) IN ('C', 'F') AND ($status & 256) <> 0"},
    {"cnstisnottrusted", "trim($xtype) IN ('C', 'F') AND ($status & 2048) <> 0"},
    {"cnstisnotrepl", "trim($xtype) IN ('C', 'F') AND ($status & 1024) <> 0"},
    {"cnstisdeletecascade", "trim($xtype) = 'F' AND ($status & 4096) <> 0"},
    {"cnstisupdatecascade", "trim($xtype) = 'F' AND ($status & 8192) <> 0"},
}};
#undef TRIGGER_ORDER

// COLUMNPROPERTY: the value of each property from the syscolumns row.
constexpr std::array<std::pair<std::string_view, std::string_view>, 10> kColumnProperties = {{
    {"allowsnull", "$isnullable"},
    {"isidentity", "CASE WHEN ($colstat & 1) <> 0 THEN 1 ELSE 0 END"},
    {"iscomputed", "$iscomputed"},
    {"precision", "$prec"},
    {"scale", "$scale"},
    {"isoutparam", "$isoutparam"},
    {"isrowguidcol", "0"},
    {"isidnotforrepl", "0"},
    {"usesansitrim", "1"},
    {"isfulltextindexed", "0"},
}};

// INDEXPROPERTY: the value of each property from the sysindexes row.
constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kIndexProperties = {{
    {"isclustered", "CASE WHEN $indid = 1 THEN 1 ELSE 0 END"},
    {"isunique", "CASE WHEN ($status & 2) <> 0 THEN 1 ELSE 0 END"},
    {"isstatistics", "CASE WHEN ($status & 64) <> 0 THEN 1 ELSE 0 END"},
    {"isautostatistics", "CASE WHEN ($status & 8388608) <> 0 THEN 1 ELSE 0 END"},
    {"ispadindex", "0"},
    {"indexfillfactor", "$OrigFillFactor"},
}};

// The literal text of a property argument; 40000 when the statement computes it.
std::string propertyName(const Expr& argument, const std::string& function) {
    if (argument.kind != ExprKind::String && argument.kind != ExprKind::NString)
        throw ServerError(
            err::kUnsupported, 16,
            "The sandbox server needs the property of " + upperName(function) + " as a constant.");
    return lower(argument.text);
}

template <std::size_t N>
std::optional<std::string_view> lookUp(
    const std::array<std::pair<std::string_view, std::string_view>, N>& table,
    const std::string& name) {
    for (const auto& [property, sql] : table)
        if (property == name) return sql;
    return std::nullopt;
}

// SERVERPROPERTY of SQL Server 2000 SP4 Standard Edition; NULL for any other property
// (ProductMajorVersion, for one, is a later version's).
std::string serverProperty(const std::string& name) {
    if (name == "productversion") return "'8.00.2039'";
    if (name == "productlevel") return "'SP4'";
    if (name == "edition") return "'Standard Edition'";
    if (name == "engineedition") return "2";
    if (name == "machinename" || name == "servername") return "'SANDBOX'";
    if (name == "collation") return quoteLiteral(kServerCollation);
    if (name == "isclustered" || name == "isfulltextinstalled" ||
        name == "isintegratedsecurityonly" || name == "issingleuser" || name == "issyncwithbackup")
        return "0";
    if (name == "licensetype") return "'DISABLED'";
    if (name == "processid") return std::to_string(::getpid());
    if (name == "lcid") return "1033";
    if (name == "sqlcharset") return "1";
    if (name == "sqlcharsetname") return "'iso_1'";
    if (name == "sqlsortorder") return "52";
    if (name == "sqlsortordername") return "'nocase_iso'";
    if (name == "comparisonstyle") return "196609";
    return "NULL";
}

// What every database answers for a property other than its collation: a database in
// its default state. Empty: NULL.
std::string fixedDatabaseProperty(const std::string& name) {
    if (name == "status") return "'ONLINE'";
    if (name == "updateability") return "'READ_WRITE'";
    if (name == "useraccess") return "'MULTI_USER'";
    if (name == "recovery") return "'FULL'";
    if (name == "version") return "539";
    if (name.rfind("is", 0) == 0) return "0";
    return {};
}

}  // namespace

// DATABASEPROPERTY(EX) of the database the SQL expression `database` names, NULL for one
// the server does not have (SQL Server 2000 answers NULL for it too).
// Example: ('collation', 'Northwind') with master and Northwind on the server ->
// (CASE lower('Northwind') WHEN 'master' THEN 'SQL_Latin1_General_CP1_CI_AS' WHEN
// 'northwind' THEN 'SQL_Latin1_General_CP1_CI_AS' END).
std::string Translator::databaseProperty(const std::string& name, const std::string& database) const {
    const std::string fixed = fixedDatabaseProperty(name);
    if (name != "collation" && fixed.empty()) return "NULL";
    std::vector<std::pair<std::string, std::string>> databases;
    if (m_context.databases)
        databases = m_context.databases();
    else
        databases.emplace_back(m_context.databaseName, m_context.collation);
    std::string sql = "(CASE lower(" + database + ")";
    for (const auto& [databaseName, collation] : databases)
        sql += " WHEN " + quoteLiteral(lower(databaseName)) + " THEN " +
               (name == "collation" ? quoteLiteral(collation) : fixed);
    return sql + " END)";
}

std::optional<Translated> Translator::propertyFunction(const Expr& e) {
    const std::string& f = e.text;
    auto need = [&](std::size_t count) {
        if (e.args.size() != count)
            throw ServerError(
                174, 15,
                "The " + f + " function requires " + std::to_string(count) + " argument(s).", 1,
                ErrorScope::Batch);
    };
    Translated out;
    out.type = makeColumnType("int", std::nullopt, std::nullopt);
    if (f == "objectproperty") {
        need(2);
        if (propertyName(*e.args[1], f) == "ownerid") {
            out.sql = "(SELECT \"~o\".\"~uid\" FROM " + std::string(kObjectRow) + " WHERE \"~o\".\"~id\" = " +
                      expression(*e.args[0]).sql + ")";
            return out;
        }
        const auto sql = lookUp(kObjectProperties, propertyName(*e.args[1], f));
        if (!sql) {
            out.sql = "NULL";
            return out;
        }
        out.sql = "(SELECT CASE WHEN (" + rowColumns(*sql, "~o") + ") THEN 1 ELSE 0 END FROM " + kObjectRow +
                  " WHERE \"~o\".\"~id\" = " + expression(*e.args[0]).sql + ")";
        return out;
    }
    if (f == "columnproperty") {
        need(3);
        const auto sql = lookUp(kColumnProperties, propertyName(*e.args[2], f));
        out.sql = !sql ? "NULL"
                       : "(SELECT " + rowColumns(*sql, "~c") + " FROM " + kColumnRow +
                             " WHERE \"~c\".\"~id\" = " + expression(*e.args[0]).sql +
                             " AND \"~c\".\"~name\" = " + expression(*e.args[1]).sql + ")";
        return out;
    }
    if (f == "indexproperty") {
        need(3);
        const auto sql = lookUp(kIndexProperties, propertyName(*e.args[2], f));
        out.sql = !sql ? "NULL"
                       : "(SELECT " + rowColumns(*sql, "~i") + " FROM " + kIndexRow +
                             " WHERE \"~i\".\"~id\" = " + expression(*e.args[0]).sql +
                             " AND \"~i\".\"~name\" = " + expression(*e.args[1]).sql +
                             " AND \"~i\".\"~indid\" BETWEEN 1 AND 250)";
        return out;
    }
    if (f == "serverproperty") {
        need(1);
        out.sql = serverProperty(propertyName(*e.args[0], f));
        out.type = makeColumnType("sql_variant", std::nullopt, std::nullopt);
        return out;
    }
    if (f == "databaseproperty" || f == "databasepropertyex") {
        need(2);
        out.sql = databaseProperty(propertyName(*e.args[1], f), expression(*e.args[0]).sql);
        if (f == "databasepropertyex")
            out.type = makeColumnType("sql_variant", std::nullopt, std::nullopt);
        return out;
    }
    if (f == "update") {
        // UPDATE(column) inside a trigger: whether the firing statement set the column
        // (every column for an INSERT).
        need(1);
        if (!m_context.trigger || e.args[0]->kind != ExprKind::Column)
            throw ServerError(err::kUnsupported, 16,
                              "The sandbox server knows UPDATE(column) only inside a trigger.");
        bool set = false;
        for (const auto& column : m_context.trigger->updatedColumns)
            if (column == lower(e.args[0]->parts.back())) set = true;
        out.sql = set ? "1" : "0";
        out.type = makeColumnType("bit", std::nullopt, std::nullopt);
        return out;
    }
    return std::nullopt;
}

}  // namespace sandbox::tsql
