#include "tsql/module_dependencies.h"

#include <algorithm>
#include <map>
#include <set>

#include "catalog/catalog.h"
#include "catalog/sqlite_util.h"
#include "catalog/text_util.h"
#include "catalog/server_error.h"
#include "tsql/batch_runner.h"
#include "tsql/lexer.h"
#include "tsql/parser.h"
#include "tsql/system_procedures.h"

namespace sandbox::tsql {
namespace {

// One object the module names, and how it uses it.
struct Reference {
    int id = 0;
    std::string xtype;
    bool read = false;
    bool updated = false;
    bool selectAll = false;
    std::set<int> colids;
};

// Words after which a name cannot be an alias.
bool isClauseWord(const Token& t) {
    static const char* const kWords[] = {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", "ON", "JOIN", "INNER",
                                         "LEFT", "RIGHT", "FULL", "CROSS", "OUTER", "SET", "VALUES", "SELECT",
                                         "FROM", "AS", "WITH", "INTO", "COMPUTE", "FOR", "OPTION", "END",
                                         "ELSE", "BEGIN", "IF", "WHILE", "RETURN", "INSERT", "UPDATE", "DELETE",
                                         "EXEC", "EXECUTE", "DECLARE", "PRINT", "RAISERROR", "GO", "COMMIT",
                                         "ROLLBACK", "TRUNCATE"};
    if (t.kind != TokenKind::Word) return false;
    for (const char* w : kWords)
        if (t.isWord(w)) return true;
    return isReservedKeyword(t.text);
}

class DependencyScan {
public:
    DependencyScan(Database& db, int moduleId, std::vector<Token> tokens, bool quotedIdentifier)
        : m_db(db), m_moduleId(moduleId), m_tokens(std::move(tokens)), m_quoted(quotedIdentifier) {}

    std::vector<Reference> run() {
        markStatements();
        findReferences();
        findColumns();
        std::vector<Reference> out;
        for (int id : m_order) out.push_back(m_references[id]);
        return out;
    }

private:
    bool isName(std::size_t i) const {
        if (i >= m_tokens.size()) return false;
        const Token& t = m_tokens[i];
        if (t.kind == TokenKind::Bracketed) return true;
        if (t.kind == TokenKind::DoubleQuoted) return m_quoted;
        return t.kind == TokenKind::Word && !isReservedKeyword(t.text);
    }

    // A name of one to four parts from token i: its last part and the index after it.
    std::size_t readName(std::size_t i, std::string& last) const {
        last = m_tokens[i].text;
        std::size_t at = i + 1;
        while (at + 1 < m_tokens.size() && m_tokens[at].isSymbol(".") && isName(at + 1)) {
            last = m_tokens[at + 1].text;
            at += 2;
        }
        return at;
    }

    Reference* resolve(const std::string& name, bool allowTables, bool allowModules) {
        sqlite::Statement q(m_db.handle(), "SELECT id, trim(xtype) FROM sysobjects WHERE name = ? AND parent_obj = 0");
        q.bind(1, name);
        if (!q.step()) return nullptr;
        const int id = static_cast<int>(q.integer(0));
        const std::string xtype = q.text(1);
        const bool table = xtype == "U" || xtype == "V" || xtype == "S";
        const bool module = xtype == "P" || xtype == "FN" || xtype == "IF" || xtype == "TF";
        if (id == m_moduleId || (table && !allowTables) || (module && !allowModules) || (!table && !module))
            return nullptr;
        auto [it, added] = m_references.try_emplace(id);
        if (added) {
            it->second.id = id;
            it->second.xtype = xtype;
            m_order.push_back(id);
        }
        return &it->second;
    }

    // Numbers the statements of the text: a column belongs to the tables its own statement
    // names. A statement starts at a statement keyword outside parentheses (SET inside an
    // UPDATE does not start one).
    void markStatements() {
        m_statementOf.assign(m_tokens.size(), 0);
        int statement = 0;
        int depth = 0;
        bool updating = false;
        for (std::size_t i = 0; i < m_tokens.size(); ++i) {
            const Token& t = m_tokens[i];
            if (t.isSymbol("(")) ++depth;
            if (t.isSymbol(")")) --depth;
            if (depth <= 0 && t.kind == TokenKind::Word) {
                static const char* const kStarts[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "EXEC",  "EXECUTE",
                                                      "SET",    "IF",     "WHILE",  "RETURN", "DECLARE", "PRINT",
                                                      "BEGIN",  "END",    "ELSE",   "RAISERROR"};
                for (const char* start : kStarts)
                    if (t.isWord(start) && !(updating && t.isWord("SET"))) {
                        ++statement;
                        updating = t.isWord("UPDATE");
                        break;
                    }
            }
            m_statementOf[i] = statement;
        }
    }

    // The first token from i on that is not an opening parenthesis.
    std::size_t afterParentheses(std::size_t i) const {
        while (i < m_tokens.size() && m_tokens[i].isSymbol("(")) ++i;
        return i;
    }

    // A table reference at token i (after FROM, JOIN, INTO, UPDATE, DELETE, or a comma of
    // a FROM list), with its alias; returns the index after it.
    std::size_t tableReference(std::size_t i, bool target) {
        std::string last;
        const std::size_t after = readName(i, last);
        for (std::size_t k = i; k < after; ++k) m_consumed.insert(k);
        Reference* ref = resolve(last, true, true);
        if (!ref) return after;
        (target ? ref->updated : ref->read) = true;
        const int statement = m_statementOf[i];
        m_tablesOf[statement].insert(ref->id);
        m_aliases[statement][lower(last)] = ref->id;
        std::size_t at = after;
        if (at < m_tokens.size() && m_tokens[at].isWord("AS")) ++at;
        if (isName(at) && !isClauseWord(m_tokens[at])) {
            m_aliases[statement][lower(m_tokens[at].text)] = ref->id;
            m_consumed.insert(at);
            ++at;
        }
        return at;
    }

    void findReferences() {
        bool deleting = false;  // DELETE [FROM] t: the table after FROM is written, not read
        for (std::size_t i = 0; i < m_tokens.size(); ++i) {
            const Token& t = m_tokens[i];
            if (i > 0 && m_statementOf[i] != m_statementOf[i - 1]) deleting = false;
            if (t.isWord("DELETE")) {
                deleting = true;
                if (isName(i + 1) && !m_tokens[i + 1].isWord("FROM")) i = tableReference(i + 1, true) - 1;
                continue;
            }
            if (t.isWord("FROM") || t.isWord("JOIN")) {
                // Nested joins open parentheses before their first table:
                // FROM a INNER JOIN (b INNER JOIN c ON ...) ON ...
                const std::size_t first = afterParentheses(i + 1);
                if (!isName(first)) continue;
                const bool target = deleting && t.isWord("FROM");
                deleting = false;
                std::size_t at = tableReference(first, target);
                // FROM a, b, c
                while (t.isWord("FROM") && at < m_tokens.size() && m_tokens[at].isSymbol(",") &&
                       isName(afterParentheses(at + 1)))
                    at = tableReference(afterParentheses(at + 1), false);
                i = at - 1;
                continue;
            }
            if (t.isWord("INTO") || t.isWord("UPDATE") || (t.isWord("INSERT") && isName(i + 1) && !m_tokens[i + 1].isWord("INTO"))) {
                if (t.isWord("UPDATE") && i + 1 < m_tokens.size() && m_tokens[i + 1].isWord("STATISTICS")) continue;
                if (isName(i + 1)) i = tableReference(i + 1, true) - 1;
                continue;
            }
            if ((t.isWord("EXEC") || t.isWord("EXECUTE")) && isName(i + 1)) {
                std::string last;
                const std::size_t after = readName(i + 1, last);
                for (std::size_t k = i + 1; k < after; ++k) m_consumed.insert(k);
                if (Reference* ref = resolve(last, false, true)) ref->read = true;
                i = after - 1;
                continue;
            }
            // owner.function(...): a user function call.
            if (isName(i) && i + 2 < m_tokens.size() && m_tokens[i + 1].isSymbol(".")) {
                std::string last;
                const std::size_t after = readName(i, last);
                if (after < m_tokens.size() && m_tokens[after].isSymbol("(")) {
                    if (Reference* ref = resolve(last, false, true)) {
                        ref->read = true;
                        for (std::size_t k = i; k < after; ++k) m_consumed.insert(k);
                    }
                }
            }
        }
    }

    // The columns of a referenced table or view named `column`, added to its row set.
    bool addColumn(Reference& ref, const std::string& column) {
        sqlite::Statement q(m_db.handle(), "SELECT colid FROM syscolumns WHERE id = ? AND name = ? AND number = 0");
        q.bind(1, std::int64_t{ref.id}).bind(2, column);
        if (!q.step()) return false;
        ref.colids.insert(static_cast<int>(q.integer(0)));
        return true;
    }

    void addAllColumns(Reference& ref) {
        ref.selectAll = true;
        sqlite::Statement q(m_db.handle(), "SELECT colid FROM syscolumns WHERE id = ? AND number = 0");
        q.bind(1, std::int64_t{ref.id});
        while (q.step()) ref.colids.insert(static_cast<int>(q.integer(0)));
    }

    bool isTable(const Reference& ref) const { return ref.xtype == "U" || ref.xtype == "V" || ref.xtype == "S"; }

    // The object an alias (or a table's name) stands for in the token's statement.
    Reference* aliased(std::size_t token, const std::string& name) {
        auto& aliases = m_aliases[m_statementOf[token]];
        auto found = aliases.find(lower(name));
        return found == aliases.end() ? nullptr : &m_references[found->second];
    }

    void findColumns() {
        for (std::size_t i = 0; i < m_tokens.size(); ++i) {
            const Token& t = m_tokens[i];
            const std::set<int>& tables = m_tablesOf[m_statementOf[i]];
            if (t.isSymbol("*")) {
                const bool qualified = i >= 2 && m_tokens[i - 1].isSymbol(".");
                if (qualified) {
                    if (Reference* ref = aliased(i, m_tokens[i - 2].text)) addAllColumns(*ref);
                    continue;
                }
                const bool listed = i >= 1 && (m_tokens[i - 1].isWord("SELECT") || m_tokens[i - 1].isWord("DISTINCT") ||
                                               m_tokens[i - 1].isSymbol(","));
                if (!listed) continue;  // a multiplication, or COUNT(*)
                for (int id : tables)
                    if (isTable(m_references[id]) && m_references[id].read) addAllColumns(m_references[id]);
                continue;
            }
            if (m_consumed.count(i) || !isName(i)) continue;
            if (i + 1 < m_tokens.size() && m_tokens[i + 1].isSymbol("(")) continue;  // a function
            if (i + 2 < m_tokens.size() && m_tokens[i + 1].isSymbol(".") && isName(i + 2)) {
                // qualifier.column
                if (Reference* ref = aliased(i, t.text)) addColumn(*ref, m_tokens[i + 2].text);
                i += 2;
                continue;
            }
            for (int id : tables)
                if (isTable(m_references[id])) addColumn(m_references[id], t.text);
        }
    }

    Database& m_db;
    int m_moduleId;
    std::vector<Token> m_tokens;
    bool m_quoted;
    std::map<int, Reference> m_references;
    std::vector<int> m_order;
    std::vector<int> m_statementOf;                          // statement number of each token
    std::map<int, std::map<std::string, int>> m_aliases;     // per statement: lower-case alias or name -> id
    std::map<int, std::set<int>> m_tablesOf;                 // per statement: the tables and views it names
    std::set<std::size_t> m_consumed;                        // tokens that are object names and aliases
};

}  // namespace

void recordDependencies(Database& db, int moduleId, std::string_view text, bool quotedIdentifier) {
    {
        sqlite::Statement clear(db.handle(), "DELETE FROM sysdepends WHERE id = ?");
        clear.bind(1, std::int64_t{moduleId}).step();
    }
    std::vector<Token> tokens;
    try {
        tokens = tokenize(text);
    } catch (const std::exception&) {
        return;
    }
    int number = 0;
    {
        sqlite::Statement kind(db.handle(), "SELECT trim(xtype) FROM sysobjects WHERE id = ?");
        kind.bind(1, std::int64_t{moduleId});
        if (kind.step() && kind.text(0) == "P") number = 1;
    }
    const std::vector<Reference> references = DependencyScan(db, moduleId, std::move(tokens), quotedIdentifier).run();
    sqlite::Statement insert(db.handle(),
                             "INSERT INTO sysdepends (id, depid, number, depnumber, status, depdbid, depsiteid, selall, "
                             "resultobj, readobj) VALUES (?, ?, ?, ?, 0, 0, 0, ?, ?, ?)");
    auto row = [&](const Reference& ref, int depnumber) {
        insert.bind(1, std::int64_t{moduleId}).bind(2, std::int64_t{ref.id}).bind(3, std::int64_t{number});
        insert.bind(4, std::int64_t{depnumber}).bind(5, std::int64_t{ref.selectAll ? 1 : 0});
        insert.bind(6, std::int64_t{ref.updated ? 1 : 0}).bind(7, std::int64_t{ref.read ? 1 : 0});
        insert.step();
        insert.reset();
    };
    for (const auto& ref : references) {
        if (ref.colids.empty()) {
            row(ref, 0);
            continue;
        }
        for (int colid : ref.colids) row(ref, colid);
    }
}

}  // namespace sandbox::tsql

namespace sandbox::tsql {
namespace {

// The type names sp_depends shows.
constexpr const char* kObjectTypeNames =
    "CASE RTRIM(o.xtype) WHEN 'U' THEN 'user table' WHEN 'S' THEN 'system table' WHEN 'V' THEN 'view' "
    "WHEN 'P' THEN 'stored procedure' WHEN 'TR' THEN 'trigger' WHEN 'FN' THEN 'scalar function' "
    "WHEN 'IF' THEN 'inline function' WHEN 'TF' THEN 'table function' ELSE 'object' END";

bool hasRows(Database& db, const char* sql, int id) {
    sqlite::Statement q(db.handle(), sql);
    q.bind(1, std::int64_t{id});
    return q.step();
}

}  // namespace

// sp_depends @objname: what the object uses (name, type, updated, selected, column), after
// 15459, and what uses it (name, type), after 15460, from sysdepends; 15461 when neither;
// 15009 when the current database has no such object.
void spDepends(ExecContext& context, const ProcedureCall& call) {
    const std::string name = call.required(0, "@objname");
    Database& db = context.db();
    auto object = db.catalog().findObject(objectNameArgument(name));
    if (!object)
        throw ServerError(15009, 16, "The object '" + name + "' does not exist in database '" + db.name() + "'.", 1);
    const std::string id = std::to_string(object->id);
    const bool references = hasRows(db, "SELECT 1 FROM sysdepends WHERE id = ?", object->id);
    const bool referenced = hasRows(db, "SELECT 1 FROM sysdepends WHERE depid = ?", object->id);
    if (!references && !referenced) {
        context.response().items.emplace_back(
            Message{15461, 1, 10, "Object does not reference any object, and no objects reference it.", "sp_depends", 0});
        return;
    }
    if (references) {
        context.response().items.emplace_back(
            Message{15459, 1, 10, "In the current database, the specified object references the following:", "sp_depends", 0});
        runNestedBatch(context,
                       std::string("SELECT DISTINCT 'name' = u.name + '.' + o.name, 'type' = ") + kObjectTypeNames +
                           ", 'updated' = CASE WHEN d.resultobj = 1 THEN 'yes' ELSE 'no' END, "
                           "'selected' = CASE WHEN d.readobj = 1 THEN 'yes' ELSE 'no' END, 'column' = c.name "
                           "FROM sysdepends d JOIN sysobjects o ON o.id = d.depid JOIN sysusers u ON u.uid = o.uid "
                           "LEFT JOIN syscolumns c ON c.id = d.depid AND c.colid = d.depnumber AND c.number = 0 "
                           "WHERE d.id = " + id + " ORDER BY 1, 5");
    }
    if (referenced) {
        context.response().items.emplace_back(Message{
            15460, 1, 10, "In the current database, the specified object is referenced by the following:", "sp_depends", 0});
        runNestedBatch(context, std::string("SELECT DISTINCT 'name' = u.name + '.' + o.name, 'type' = ") +
                                    kObjectTypeNames +
                                    " FROM sysdepends d JOIN sysobjects o ON o.id = d.id JOIN sysusers u ON u.uid = "
                                    "o.uid WHERE d.depid = " + id + " ORDER BY 1");
    }
}

}  // namespace sandbox::tsql
