// The catalog model against the sandbox: for every table, column, index, default, module
// and user of the fixtures (and names that differ from them in letter case, accents and
// blanks), the model's answer equals what the per-item catalog query returns; and what a
// change reports is read again, alone.
#include "catalog/catalog_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "db/odbc/odbc_connection.h"
#include "objects/recreate_modules.h"
#include "objects/roles_and_users.h"
#include "sandbox_server.h"
#include "store/sql_value.h"
#include "structure/target_queries.h"
#include "upgrade/target_catalog.h"

namespace catalog {
namespace {

// Values as text with their kind, so that a failure shows them and a kind that differs
// counts: T:abc, I:5, N (null).
using Rows = std::vector<std::vector<std::string>>;

std::string shown(const db::Value& value) {
    static const char kKinds[] = "NIDFBTYd";
    return std::string(1, kKinds[static_cast<int>(value.kind())]) + ":" + value.toText();
}

// The fixtures the contract runs over, each loaded as its own database.
const std::vector<std::pair<std::string, std::string>> kFixtures = {
    {"modelo", "tests/fixtures/catalog_model.sql"},
    {"referencia", "tests/fixtures/reference.sql"},
    {"nomes", "tests/fixtures/quoted_names_reference.sql"},
    {"nomes_alvo", "tests/fixtures/quoted_names_target.sql"},
    {"objectos", "tests/fixtures/objects.sql"},
    {"loja", "tests/fixtures/shop.sql"},
};

testsupport::SandboxServer& server() {
    static testsupport::SandboxServer instance([] {
        testsupport::SandboxOptions options;
        for (const auto& [database, script] : kFixtures) options.loads.emplace_back(database, script);
        return options;
    }());
    return instance;
}

std::unique_ptr<db::Connection> connect(const std::string& database) {
    db::ServerSettings settings;
    settings.server = "127.0.0.1," + std::to_string(server().port());
    settings.database = database;
    settings.user = "sa";
    settings.password = server().password();
    return db::odbc::openServer(settings);
}

Rows rowsOf(db::Recordset recordset, const std::vector<std::string>& fields) {
    Rows rows;
    for (; !recordset.eof(); recordset.moveNext()) {
        std::vector<std::string> row;
        for (const std::string& field : fields) row.push_back(shown(recordset.field(field).value()));
        rows.push_back(std::move(row));
    }
    return rows;
}

Rows asked(db::Connection& connection, const std::string& query, const std::vector<std::string>& fields) {
    return rowsOf(connection.open(query, db::CursorType::Static, db::LockType::ReadOnly), fields);
}

bool finds(db::Connection& connection, const std::string& query) {
    return !connection.open(query, db::CursorType::Static, db::LockType::ReadOnly).eof();
}

// Names as a phase may ask for them: as the catalog has them, in small letters, with
// blanks around, and (`accents`) without their accents.
bool g_withoutAccents = true;

std::vector<std::string> variants(const std::string& name) {
    std::vector<std::string> names = {name, store::LowerCase(name), name + "  ", "  " + name};
    if (!g_withoutAccents) return names;
    std::string plain;
    for (const char c : store::LowerCase(name)) plain += c;
    const std::pair<const char*, const char*> accents[] = {{"ç", "c"}, {"ã", "a"}, {"ó", "o"}};
    for (const auto& [accented, bare] : accents) {
        for (std::size_t at; (at = plain.find(accented)) != std::string::npos;)
            plain.replace(at, std::string(accented).size(), bare);
    }
    names.push_back(plain);
    return names;
}

const std::vector<std::string> kColumnFields = {"tabela", "campo",      "tipo",       "tamanho",
                                                "xprec",  "xscale",     "isnullable", "isidentity",
                                                "cdefault"};
const std::vector<std::string> kKeyedFields = {"tabela", "campo", "id", "indid", "colid", "keyno"};

// Every question of the phases about `database`, asked of the model and of the server.
void expectModelAnswersAsTheQueries(const std::string& database) {
    auto connection = connect(database);
    Model model(*connection);
    ASSERT_TRUE(model.available()) << database;

    std::vector<std::pair<std::string, std::string>> columns;
    {
        db::Recordset all = connection->open(
            "SELECT o.name AS t, c.name AS c FROM sysobjects o JOIN syscolumns c ON c.id = o.id "
            "WHERE o.xtype = 'U' ORDER BY o.name, c.colid",
            db::CursorType::Static, db::LockType::ReadOnly);
        for (; !all.eof(); all.moveNext())
            columns.emplace_back(all.field("t").value().toText(), all.field("c").value().toText());
    }
    columns.emplace_back("tbNaoExiste", "x");
    std::vector<std::string> withCollation = kColumnFields;
    withCollation.push_back("collation");
    std::vector<std::string> pkFields = kKeyedFields, ixFields = kKeyedFields;
    pkFields.insert(pkFields.begin(), "PK_Name");
    ixFields.insert(ixFields.begin(), "IX_Name");

    std::string lastTable;
    std::size_t position = 0;
    for (const auto& [tableName, columnName] : columns) {
        position = tableName == lastTable ? position + 1 : 0;
        // Of a wide table, every fiftieth column, by its name as the catalog has it.
        const bool wide = position >= 50;
        if (wide && position % 50 != 0) continue;
        for (const std::string& table : variants(tableName)) {
            SCOPED_TRACE(database + ": [" + table + "].[" + columnName + "]");
            if (tableName != lastTable) {
                EXPECT_EQ(rowsOf(*model.tableColumns(table, true), withCollation),
                          asked(*connection, structure::targetColumnQuery(table), withCollation));
                EXPECT_EQ(rowsOf(*model.tableColumns(table, false), kColumnFields),
                          asked(*connection, structure::rebuildCatalogQuery(table), kColumnFields));
                EXPECT_EQ(rowsOf(*model.primaryKey(table), pkFields),
                          asked(*connection, upgrade::primaryKeyQuery(table), pkFields));
            }
            const std::vector<std::string> columnNames =
                wide || table != tableName ? std::vector<std::string>{columnName} : variants(columnName);
            for (const std::string& column : columnNames) {
                EXPECT_EQ(rowsOf(*model.column(table, column), withCollation),
                          asked(*connection, structure::targetColumnQuery(table, column), withCollation));
                EXPECT_EQ(rowsOf(*model.ixIndexes(table, column), ixFields),
                          asked(*connection, upgrade::ixIndexQuery(table, column), ixFields));
                const std::vector<std::string> defaultFields = {"DF_name", "tabela", "campo", "valor"};
                EXPECT_EQ(rowsOf(*model.columnDefault(table, column), defaultFields),
                          asked(*connection, upgrade::defaultConstraintQuery(table, column),
                                defaultFields));
            }
        }
        lastTable = tableName;
    }

    // Functions, views and procedures, and users and roles.
    db::Recordset objects = connection->open("SELECT name, xtype FROM sysobjects",
                                             db::CursorType::Static, db::LockType::ReadOnly);
    std::vector<std::string> names = {"tbUsers", "nao_existe"};
    for (; !objects.eof(); objects.moveNext()) names.push_back(objects.field("name").value().toText());
    db::Recordset users = connection->open("SELECT name FROM sysusers", db::CursorType::Static,
                                           db::LockType::ReadOnly);
    for (; !users.eof(); users.moveNext()) names.push_back(users.field("name").value().toText());
    for (const std::string& object : names) {
        for (const std::string& name : variants(object)) {
            SCOPED_TRACE(database + ": object " + name);
            const db::Value value = db::Value::text(name);
            EXPECT_EQ(*model.hasObject(name, "FN"),
                      finds(*connection, objects::moduleExistenceQuery(objects::ModuleKind::Function, value)));
            EXPECT_EQ(*model.hasObject(name, "V"),
                      finds(*connection, objects::moduleExistenceQuery(objects::ModuleKind::View, value)));
            EXPECT_EQ(*model.hasObject(name, "P", 1610612736),
                      finds(*connection, objects::moduleExistenceQuery(objects::ModuleKind::Procedure, value)));
            EXPECT_EQ(*model.hasObjectNamed(name),
                      finds(*connection, "SELECT sysobjects.name FROM sysobjects WHERE sysobjects.name = " +
                                             store::SQLValueForServer(name, store::kSqlText)));
            EXPECT_EQ(*model.hasUser(name), finds(*connection, objects::roleLookupQuery(name)));
            EXPECT_EQ(*model.hasUser(name), finds(*connection, objects::userLookupQuery(name)));
            for (const char* xtype : {"FN", "V"}) {
                // The capture's chunk query of a function or view.
                const std::string query =
                    std::string("SELECT syscomments.text as sql_view FROM sysobjects LEFT JOIN "
                                "syscomments ON sysobjects.id = syscomments.id WHERE "
                                "sysobjects.xtype = '") +
                    xtype +
                    "' AND sysobjects.name <> 'sysconstraints' AND sysobjects.name <> "
                    "'syssegments' AND sysobjects.name = " +
                    store::SQLValueForServer(value, store::kSqlText);
                Rows chunks;
                const auto modelChunks = model.moduleChunks(xtype, value);
                ASSERT_TRUE(modelChunks.has_value());
                for (const db::Value& chunk : *modelChunks) chunks.push_back({shown(chunk)});
                EXPECT_EQ(chunks, asked(*connection, query, {"sql_view"}));
            }
        }
    }
}

TEST(CatalogContract, TheModelAnswersEveryQuestionAsItsQueryDoes) {
    for (const auto& [database, script] : kFixtures) expectModelAnswersAsTheQueries(database);
}

// After the upgrade's collation change. SQL Server then compares the catalog's names
// without their accents too; the sandbox keeps comparing them as the database was created,
// so names that differ in their accents alone are left out here.
TEST(CatalogContract, UnderTheCollationTheUpgradeSets) {
    server().tsql("ALTER DATABASE modelo COLLATE Latin1_General_CI_AI\ngo\n");
    g_withoutAccents = false;
    expectModelAnswersAsTheQueries("modelo");
    g_withoutAccents = true;
    server().tsql("ALTER DATABASE modelo COLLATE SQL_Latin1_General_CP1_CI_AS\ngo\n");
}

TEST(CatalogContract, ProcedureChunksByIdAsTheCaptureAsksThem) {
    auto connection = connect("objectos");
    Model model(*connection);
    db::Recordset procedures = connection->open("SELECT id FROM sysobjects WHERE xtype = 'P'",
                                                db::CursorType::Static, db::LockType::ReadOnly);
    ASSERT_FALSE(procedures.eof());
    for (; !procedures.eof(); procedures.moveNext()) {
        const db::Value id = procedures.field("id").value();
        Rows chunks;
        const auto modelChunks = model.moduleChunksById(id.asInteger());
        ASSERT_TRUE(modelChunks.has_value());
        for (const db::Value& chunk : *modelChunks) chunks.push_back({shown(chunk)});
        EXPECT_EQ(chunks, asked(*connection,
                                "SELECT syscomments.text FROM syscomments WHERE syscomments.id =" +
                                    id.toText(),
                                {"text"}));
    }
}

// A change reported to the model is read again on the next question about it, all
// changed tables together; an unchanged table is never read again.
TEST(CatalogFreshness, AChangedTableIsReadAgainAloneAndOnlyWhenAsked) {
    server().tsql("CREATE DATABASE fresco\ngo\nUSE fresco\ngo\n"
                  "CREATE TABLE tbA (id int NOT NULL, nome varchar(10) NULL)\ngo\n"
                  "CREATE TABLE tbB (id int NOT NULL)\ngo\n");
    auto connection = connect("fresco");
    Model model(*connection);
    ASSERT_TRUE(model.available());
    const std::size_t afterRead = model.queriesSent();

    connection->execute("ALTER TABLE tbA ADD extra int NULL");
    connection->execute("CREATE TABLE tbC (id int NOT NULL PRIMARY KEY)");
    EXPECT_TRUE(model.column("tbA", "extra")->eof());  // not told yet: the model as read
    model.apply(Change::ofColumn("tbA", "extra"));
    model.apply(Change::ofTable("tbC"));

    EXPECT_TRUE(model.column("tbB", "id").has_value());
    EXPECT_EQ(model.queriesSent(), afterRead);  // tbB did not change: nothing read
    EXPECT_FALSE(model.column("tbA", "extra")->eof());
    const std::size_t afterRefresh = model.queriesSent();
    EXPECT_EQ(afterRefresh, afterRead + 3);  // both changed tables, in one go
    EXPECT_FALSE(model.primaryKey("tbC")->eof());
    EXPECT_EQ(model.queriesSent(), afterRefresh);

    connection->execute("DROP TABLE tbB");
    model.apply(Change::ofTable("tbB"));
    EXPECT_TRUE(model.tableColumns("tbB", true)->eof());
    EXPECT_TRUE(model.tables("tbB").empty());
}

// A catalog the set-based queries cannot read answers nothing, so that each question
// goes to the server item by item.
TEST(CatalogFreshness, ACatalogThatCannotBeReadAnswersNothing) {
    auto connection = connect("modelo");
    connection->close();
    Model model(*connection);
    EXPECT_FALSE(model.available());
    EXPECT_FALSE(model.column("tbDuasIX", "id").has_value());
    EXPECT_FALSE(model.hasUser("dbo").has_value());
}

}  // namespace
}  // namespace catalog
