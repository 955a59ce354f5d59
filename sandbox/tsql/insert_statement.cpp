#include "catalog/server_error.h"
#include "catalog/text_util.h"
#include "tsql/data_change.h"
#include "tsql/dml_support.h"
#include "tsql/parser.h"
#include "tsql/statements.h"

namespace sandbox::tsql {
namespace {

// 271: an INSERT or UPDATE that names a computed column.
ServerError computedColumn(const std::string& name) {
    return ServerError(271, 16, "Column '" + name + "' cannot be modified because it is a computed column.");
}

// The table an INSERT names: 208 (as written) when there is none.
std::shared_ptr<const TableInfo> insertTarget(ExecContext& context, const ObjectName& table) {
    Database& db = context.db();
    auto info = db.table(table.name());
    if (!info) {
        if (auto object = db.catalog().findObject(table.name()); object && object->xtype == "V")
            throw ServerError(err::kUnsupported, 16, "The sandbox server does not support INSERT into a view.");
        raiseInvalidObject(table);
    }
    return info;
}

// Where the rows of an INSERT come from; it decides the messages for a count mismatch.
enum class RowSource { Values, Select, DefaultValues };

// The rows of one INSERT on their way into a table: which column each supplied value
// fills, and SQL Server's rules for the rest (conversions, padding, truncation, identity,
// timestamp, defaults, NOT NULL). The constructor checks the column list and the identity
// rules (544, 545, 8101, 273, 109/110, 120/121, 213); write() adds one row.
class RowWriter {
public:
    RowWriter(ExecContext& context, std::shared_ptr<const TableInfo> info, const std::vector<std::string>* columnList,
              std::size_t suppliedCount, RowSource source)
        : m_context(context), m_info(std::move(info)) {
        Database& db = context.db();
        const auto& cols = m_info->columns;
        const auto& identityInsert = context.session().identityInsert;
        bool identityInsertOn =
            identityInsert && identityInsert->tableId == m_info->id && iequals(identityInsert->database, db.name());
        if (columnList) {
            for (const auto& name : *columnList) {
                int c = m_info->findColumn(name);
                if (c < 0) throw ServerError(err::kInvalidColumn, 16, "Invalid column name '" + name + "'.", 1, ErrorScope::Batch);
                if (cols[static_cast<std::size_t>(c)].computed) throw computedColumn(cols[static_cast<std::size_t>(c)].name);
                m_targets.push_back(c);
            }
            checkCount(source, suppliedCount);
        } else if (source != RowSource::DefaultValues) {
            if (identityInsertOn || (m_info->identity && suppliedCount == cols.size()))
                throw ServerError(err::kIdentityNeedsColumnList, 16,
                                  "An explicit value for the identity column in table '" + m_info->name +
                                      "' can only be specified when a column list is used and IDENTITY_INSERT is ON.");
            for (std::size_t i = 0; i < cols.size(); ++i)
                if (!cols[i].identity && !cols[i].computed && cols[i].type.base->sqlType != SqlType::Timestamp)
                    m_targets.push_back(static_cast<int>(i));
            if (suppliedCount != m_targets.size())
                throw ServerError(213, 16, "Insert Error: Column name or number of supplied values does not match table definition.");
        }
        bool explicitIdentity = false;
        for (int c : m_targets) {
            const ColumnInfo& col = cols[static_cast<std::size_t>(c)];
            if (col.identity) {
                if (!identityInsertOn)
                    throw ServerError(err::kIdentityInsertOff, 16,
                                      "Cannot insert explicit value for identity column in table '" + m_info->name +
                                          "' when IDENTITY_INSERT is set to OFF.");
                explicitIdentity = true;
            }
            if (col.type.base->sqlType == SqlType::Timestamp)
                throw ServerError(273, 16, "Cannot insert an explicit value into a timestamp column. Use INSERT with a "
                                           "column list to exclude the timestamp column, or insert a DEFAULT into the "
                                           "timestamp column.");
        }
        if (identityInsertOn && m_info->identity && !explicitIdentity)
            throw ServerError(545, 16, "Explicit value must be specified for identity column in table '" + m_info->name +
                                           "' when IDENTITY_INSERT is set to ON.");
        // Computed columns are SQLite's to fill.
        for (std::size_t i = 0; i < cols.size(); ++i)
            if (!cols[i].computed) m_stored.push_back(i);
        m_insertSql = "INSERT INTO " + sqlite::quoteIdentifier(m_info->name) + " (";
        for (std::size_t k = 0; k < m_stored.size(); ++k)
            m_insertSql += (k ? ", " : "") + sqlite::quoteIdentifier(cols[m_stored[k]].name);
        m_insertSql += ") VALUES (";
        for (std::size_t k = 0; k < m_stored.size(); ++k) m_insertSql += k ? ", ?" : "?";
        m_insertSql += ")";
    }

    const TableInfo& table() const { return *m_info; }
    // The rows written so far, when the table has rules that look at them afterwards.
    const std::vector<std::int64_t>& rowids() const { return m_rowids; }

    // Adds one row: supplied[i] fills the i-th target column (nullopt: its DEFAULT).
    void write(const std::vector<std::optional<StoredValue>>& supplied) {
        Database& db = m_context.db();
        const auto& cols = m_info->columns;
        std::vector<std::optional<StoredValue>> row(cols.size());
        for (std::size_t i = 0; i < m_targets.size() && i < supplied.size(); ++i) {
            if (!supplied[i]) continue;
            const ColumnInfo& col = cols[static_cast<std::size_t>(m_targets[i])];
            try {
                row[static_cast<std::size_t>(m_targets[i])] = convertTo(col.type, *supplied[i], ConversionMode::Assign);
            } catch (ServerError& e) {
                if (e.number() == err::kTruncation) e.terminated();
                throw;
            }
        }
        std::optional<std::int64_t> identityValue;
        for (std::size_t i = 0; i < cols.size(); ++i) {
            const ColumnInfo& col = cols[i];
            if (col.computed) continue;
            if (row[i]) {
                if (col.identity && !row[i]->isNull()) identityValue = row[i]->integer;
                continue;
            }
            if (col.identity) {
                const IdentityInfo& id = *m_info->identity;
                identityValue = id.fresh ? nextIdentityValue(col.type, std::nullopt, *id.current, id.increment)
                                         : nextIdentityValue(col.type, id.current, id.seed, id.increment);
                row[i] = StoredValue::ofInteger(*identityValue);
            } else if (col.type.base->sqlType == SqlType::Timestamp) {
                row[i] = StoredValue::ofBlob(nextRowVersion(db));
            } else if (col.defaultId != 0) {
                row[i] = convertTo(col.type, evaluateDefault(m_context, col), ConversionMode::Assign);
            } else {
                row[i] = StoredValue::null();
            }
        }
        for (std::size_t i : m_stored)
            if (row[i]->isNull() && !cols[i].nullable) throw nullNotAllowed(m_context, *m_info, cols[i], "INSERT");

        StatementLease stmt(m_context.prepare(m_insertSql));
        for (std::size_t k = 0; k < m_stored.size(); ++k) bindStored(stmt.get(), static_cast<int>(k + 1), *row[m_stored[k]]);
        int rc = sqlite3_step(stmt.get());
        if (rc != SQLITE_DONE) {
            std::string message = sqlite3_errmsg(db.handle());
            int code = sqlite3_extended_errcode(db.handle());
            sqlite3_reset(stmt.get());
            if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY)
                raiseDuplicateKey(m_context, *m_info, message);
            m_context.raise(sqlite::Failure(code, message));
        }
        if (m_info->hasRules()) m_rowids.push_back(sqlite3_last_insert_rowid(db.handle()));
        if (identityValue && m_info->identity) {
            const IdentityInfo& id = *m_info->identity;
            bool advances = !id.current || id.fresh || (id.increment > 0 ? *identityValue > *id.current : *identityValue < *id.current);
            if (advances) {
                db.setIdentityCurrent(m_info->id, *identityValue);
                m_info = db.table(m_info->name);
            }
            m_context.session().lastIdentity = identityValue;
        }
    }

private:
    void checkCount(RowSource source, std::size_t supplied) {
        if (source == RowSource::DefaultValues || supplied == m_targets.size()) return;
        bool fewerValues = supplied < m_targets.size();
        if (source == RowSource::Select)
            throw ServerError(fewerValues ? 120 : 121, 15,
                              std::string("The select list for the INSERT statement contains ") +
                                  (fewerValues ? "fewer" : "more") +
                                  " items than the insert list. The number of SELECT values must match the number of "
                                  "INSERT columns.");
        throw ServerError(fewerValues ? 109 : 110, 16,
                          std::string("There are ") + (fewerValues ? "more" : "fewer") +
                              " columns in the INSERT statement than values specified in the VALUES clause. The number "
                              "of values in the VALUES clause must match the number of columns specified in the INSERT "
                              "statement.");
    }

    ExecContext& m_context;
    std::shared_ptr<const TableInfo> m_info;
    std::vector<int> m_targets;       // the table column each supplied value goes to
    std::vector<std::size_t> m_stored;  // the columns SQLite stores (all but computed ones)
    std::string m_insertSql;
    std::vector<std::int64_t> m_rowids;
};

// INSERT [INTO] t [(columns)] VALUES (...) | DEFAULT VALUES: one finished row for SQLite.
class InsertStatement : public Statement {
public:
    ObjectName table;
    std::vector<std::string> columns;
    bool hasColumnList = false;
    bool defaultValues = false;
    std::vector<ExprPtr> values;  // null entries: DEFAULT

    void execute(ExecContext& context) override {
        auto info = insertTarget(context, table);
        RowWriter writer(context, info, hasColumnList ? &columns : nullptr, values.size(),
                         defaultValues ? RowSource::DefaultValues : RowSource::Values);
        std::vector<const Expr*> exprs;
        for (const auto& v : values)
            if (v) exprs.push_back(v.get());
        std::vector<StoredValue> evaluated = evaluateConstants(context, exprs);
        std::vector<std::optional<StoredValue>> supplied;
        std::size_t next = 0;
        for (const auto& v : values)
            supplied.push_back(v ? std::optional<StoredValue>(std::move(evaluated[next++])) : std::nullopt);
        if (info->hasRules()) {
            runDataChange(context, *info, TriggerEvent::Insert, [&] {
                writer.write(supplied);
                return ChangedRows{writer.rowids(), {}, {}};
            });
        } else {
            writer.write(supplied);
        }
        context.done(true, 1);
    }
};

// INSERT [INTO] t [(columns)] SELECT ...: the query runs to its end first (so that a table
// may be copied into itself), then every row goes in as INSERT ... VALUES would put it,
// all of them or none.
class InsertSelectStatement : public Statement {
public:
    ObjectName table;
    std::vector<std::string> columns;
    bool hasColumnList = false;
    std::shared_ptr<Select> query;

    void execute(ExecContext& context) override {
        auto info = insertTarget(context, table);
        TranslationContext names = context.translation();
        Translator translator(names);
        std::vector<Constant> constants;
        translator.collectConstants(&constants);
        std::string sql = translator.select(*query);
        std::vector<std::vector<std::optional<StoredValue>>> rows;
        std::optional<RowWriter> writer;
        {
            StatementLease stmt(context.prepare(sql, &translator));
            bindConstants(stmt.get(), constants);
            auto width = static_cast<std::size_t>(sqlite3_column_count(stmt.get()));
            writer.emplace(context, info, hasColumnList ? &columns : nullptr, width, RowSource::Select);
            while (context.step(stmt.get(), &translator)) {
                std::vector<std::optional<StoredValue>> row;
                for (std::size_t i = 0; i < width; ++i)
                    row.emplace_back(fromSqlite(sqlite3_column_value(stmt.get(), static_cast<int>(i))));
                rows.push_back(std::move(row));
            }
        }
        Database& db = context.db();
        try {
            if (info->hasRules()) {
                runDataChange(context, *info, TriggerEvent::Insert, [&] {
                    for (const auto& row : rows) writer->write(row);
                    return ChangedRows{writer->rowids(), {}, {}};
                });
            } else {
                atomically(db.handle(), [&] {
                    for (const auto& row : rows) writer->write(row);
                });
            }
        } catch (...) {
            db.invalidate(info->name);
            throw;
        }
        context.done(true, static_cast<std::int64_t>(rows.size()));
    }
};

}  // namespace

std::unique_ptr<Statement> parseInsert(Parser& p) {
    p.expectWord("INSERT");
    p.acceptWord("INTO");
    ObjectName table = p.objectName();
    std::vector<std::string> columns;
    bool hasColumnList = false;
    if (p.peek().isSymbol("(")) {
        columns = p.columnList();
        hasColumnList = true;
    }
    if (p.peek().isWord("SELECT")) {
        auto s = std::make_unique<InsertSelectStatement>();
        s->table = std::move(table);
        s->columns = std::move(columns);
        s->hasColumnList = hasColumnList;
        s->query = p.selectQuery();
        return s;
    }
    auto s = std::make_unique<InsertStatement>();
    s->table = std::move(table);
    s->columns = std::move(columns);
    s->hasColumnList = hasColumnList;
    if (p.acceptWord("DEFAULT")) {
        p.expectWord("VALUES");
        s->defaultValues = true;
        return s;
    }
    if (p.peek().isWord("EXEC") || p.peek().isWord("EXECUTE"))
        return skipUnsupported(p, "INSERT ... " + upperName(p.peek().text));
    p.expectWord("VALUES");
    p.expectSymbol("(");
    do {
        if (p.acceptWord("DEFAULT")) s->values.push_back(nullptr);
        else s->values.push_back(p.expression());
    } while (p.acceptSymbol(","));
    p.expectSymbol(")");
    return s;
}

}  // namespace sandbox::tsql
