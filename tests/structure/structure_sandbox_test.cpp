// The table structure update against the sandbox server: the reference fixture is
// captured, the target fixture upgraded, and the target captured again to compare.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "capture/capture_run.h"
#include "db/odbc/odbc_connection.h"
#include "fake_host.h"
#include "sandbox_server.h"
#include "store/definitions_store.h"
#include "structure/update_table_structure.h"
#include "temp_dir.h"
#include "upgrade/upgrade_run.h"

namespace structure {
namespace {

using testing_support::FakeHost;

// Records every statement sent through a real connection, so that a test can tell what
// one upgrade run sent.
class RecordingConnection : public db::Connection {
public:
    RecordingConnection(std::unique_ptr<db::Connection> inner, std::vector<std::string>& sent)
        : m_inner(std::move(inner)), m_sent(sent) {}
    long execute(std::string_view sql) override {
        m_sent.emplace_back(sql);
        return m_inner->execute(sql);
    }
    db::Recordset open(std::string_view sql, db::CursorType cursor, db::LockType lock) override {
        return m_inner->open(sql, cursor, lock);
    }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }
    void setCommandTimeout(int seconds) override { m_inner->setCommandTimeout(seconds); }
    void writeLongValue(std::string_view table, std::string_view keyColumn, std::string_view keyLiteral,
                        std::string_view field, const db::Value& value) override {
        m_inner->writeLongValue(table, keyColumn, keyLiteral, field, value);
    }

private:
    std::unique_ptr<db::Connection> m_inner;
    std::vector<std::string>& m_sent;
};

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// What the comparison looks at of one column.
struct ColumnFacts {
    std::string tipo;
    std::string tamanho;
    std::string xprec;
    std::string xscale;
    std::string isnullable;
    bool identity = false;
    friend bool operator==(const ColumnFacts&, const ColumnFacts&) = default;
};

void PrintTo(const ColumnFacts& f, std::ostream* os) {
    *os << f.tipo << "(" << f.tamanho << "," << f.xprec << "," << f.xscale << ") nullable " << f.isnullable
        << (f.identity ? " identity" : "");
}

using ColumnMap = std::map<std::pair<std::string, std::string>, ColumnFacts>;

// A value as text that survives the column changes an upgrade makes (a wider char pads
// with blanks, a decimal with a larger scale adds zeros, int becomes bigint).
std::string comparable(const db::Value& value) {
    if (value.isNull()) return "<null>";
    if (value.isNumber()) {
        std::string text = value.kind() == db::Value::Kind::Double ? db::formatDouble(value.asDouble())
                                                                   : value.toText();
        if (text.find('.') != std::string::npos) {
            while (text.back() == '0') text.pop_back();
            if (text.back() == '.') text.pop_back();
        }
        return text;
    }
    std::string text = value.toText();
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// Every row of a table, each as its column values (by lower-case column name).
using Row = std::map<std::string, std::string>;
using TableRows = std::map<std::string, std::vector<Row>>;

class StructureSandbox : public ::testing::Test {
protected:
    static testsupport::SandboxOptions fixtures() {
        testsupport::SandboxOptions options;
        options.loads = {{"reference", "tests/fixtures/reference.sql"}, {"target", "tests/fixtures/target.sql"}};
        return options;
    }

    void useDatabase(app::MainForm& form, const std::string& database) {
        form.FXServer.text = "127.0.0.1," + std::to_string(server.port());
        form.FXDatabase.text = database;
        form.FXUsername.text = "sa";
        form.FXPassword.text = server.password();
        form.FXBackup.value = 0;
    }

    app::ConnectionOpeners openers(const std::filesystem::path& storePath,
                                     std::vector<std::string>* sent = nullptr) {
        return {[sent](const db::ServerSettings& settings) -> std::unique_ptr<db::Connection> {
                    auto connection = db::odbc::openServer(settings);
                    if (!sent) return connection;
                    return std::make_unique<RecordingConnection>(std::move(connection), *sent);
                },
                [storePath] { return store::openStore(storePath); }};
    }

    // Captures a database of the sandbox into a new store.
    std::filesystem::path capture(const std::string& database) {
        const std::filesystem::path path = folder.path() / (database + "_SQL.mdb");
        store::createEmptyStore(path);
        app::MainForm form;
        useDatabase(form, database);
        FakeHost host;
        EXPECT_EQ(app::OperationOutcome::Completed, capture::runCapture(form, host, openers(path)));
        return path;
    }

    // One upgrade run of the target with the table structure phase; returns what it sent.
    std::vector<std::string> upgradeTarget(FakeHost& host) {
        app::MainForm form;
        useDatabase(form, "target");
        form.FXSilence.value = 0;  // refused alterations then show up as messages
        std::vector<std::string> sent;
        const auto outcome =
            upgrade::pressUpgradeButton(form, host, openers(referenceStore, &sent), {tableStructurePhase()});
        EXPECT_EQ(app::OperationOutcome::Completed, outcome);
        if (outcome != app::OperationOutcome::Completed) {
            for (const auto& message : host.messages) std::cout << "message: " << message.text << "\n";
        }
        return sent;
    }

    ColumnMap columnsOf(const std::filesystem::path& storePath) {
        auto store = store::openStore(storePath);
        db::Recordset rows = store->open("SELECT * FROM tbObjects ORDER BY object_id", db::CursorType::Static,
                                         db::LockType::ReadOnly);
        ColumnMap columns;
        for (; !rows.eof(); rows.moveNext()) {
            auto text = [&](const char* name) { return comparable(rows.field(name).value()); };
            columns[{lower(text("tabela")), lower(text("campo"))}] =
                ColumnFacts{text("tipo"), text("tamanho"), text("xprec"), text("xscale"), text("isnullable"),
                            text("isidentity") != "0"};
        }
        return columns;
    }

    TableRows targetRows() {
        app::MainForm form;
        useDatabase(form, "target");
        auto target = db::odbc::openServer(app::serverSettingsFrom(form));
        std::vector<std::string> tables;
        db::Recordset names = target->open("SELECT name FROM sysobjects WHERE xtype = 'U'", db::CursorType::Static,
                                           db::LockType::ReadOnly);
        for (; !names.eof(); names.moveNext()) tables.push_back(names.field("name").value().toText());
        names.close();
        TableRows all;
        for (const std::string& table : tables) {
            db::Recordset rows = target->open("SELECT * FROM [" + table + "]", db::CursorType::Static,
                                              db::LockType::ReadOnly);
            std::vector<Row>& out = all[lower(table)];
            for (; !rows.eof(); rows.moveNext()) {
                Row row;
                for (std::size_t i = 0; i < rows.fieldCount(); ++i) {
                    row[lower(rows.field(i).name())] = comparable(rows.field(i).value());
                }
                out.push_back(std::move(row));
            }
        }
        return all;
    }

    testsupport::TempDir folder{"structure"};
    testsupport::SandboxServer server{fixtures()};
    std::filesystem::path referenceStore;
};

// The refused ALTER COLUMN statements, from the notify boxes of a run.
std::set<std::string> refusedAlterations(const FakeHost& host) {
    std::set<std::string> refused;
    for (const auto& message : host.messages) {
        const auto at = message.text.find("ALTER TABLE [");
        if (message.flags == 0 && message.text.rfind("Erro: ", 0) == 0 && at != std::string::npos &&
            contains(message.text, " ALTER COLUMN ")) {
            refused.insert(message.text.substr(at));
        }
    }
    return refused;
}

TEST_F(StructureSandbox, UpgradedTargetMatchesTheReferenceAndKeepsItsRows) {
    referenceStore = capture("reference");
    const TableRows before = targetRows();

    FakeHost firstHost;
    const std::vector<std::string> first = upgradeTarget(firstHost);
    // A column whose alteration the server refused (a dependent object, data that does
    // not fit) keeps its old definition until a later run manages it.
    const std::set<std::string> refused = refusedAlterations(firstHost);
    std::set<std::pair<std::string, std::string>> refusedColumns;
    for (const std::string& statement : refused) {
        const auto table = statement.find('[') + 1;
        const auto column = statement.find("  [") + 3;
        refusedColumns.insert({lower(statement.substr(table, statement.find(']') - table)),
                               lower(statement.substr(column, statement.find(']', column) - column))});
        std::cout << "refused by the server: " << statement << "\n";
    }
    // Nothing else failed: besides the success message, every message of the run is one
    // of those refusals.
    EXPECT_EQ(refused.size() + 1, firstHost.messages.size());

    // Every column of the reference is in the target, as the reference defines it.
    const ColumnMap reference = columnsOf(referenceStore);
    const ColumnMap upgraded = columnsOf(capture("target"));
    ASSERT_FALSE(reference.empty());
    for (const auto& [key, facts] : reference) {
        if (refusedColumns.count(key)) continue;
        const auto found = upgraded.find(key);
        if (found == upgraded.end()) {
            ADD_FAILURE() << "missing in the target: " << key.first << "." << key.second;
            continue;
        }
        EXPECT_EQ(facts, found->second) << key.first << "." << key.second;
    }

    // Every row the target had is still there with its values, identity rebuilds included.
    const TableRows after = targetRows();
    for (const auto& [table, rows] : before) {
        const auto now = after.find(table);
        ASSERT_NE(after.end(), now) << table;
        EXPECT_EQ(rows.size(), now->second.size()) << table;
        for (const Row& row : rows) {
            const bool kept = std::any_of(now->second.begin(), now->second.end(), [&](const Row& candidate) {
                return std::all_of(row.begin(), row.end(), [&](const auto& column) {
                    const auto value = candidate.find(column.first);
                    return value != candidate.end() && value->second == column.second;
                });
            });
            EXPECT_TRUE(kept) << "a row of " << table << " was lost or changed";
        }
    }

    // The run did create, add, alter and rebuild: the fixture exercises every path.
    auto sentAny = [&](const std::string& piece) {
        return std::any_of(first.begin(), first.end(), [&](const std::string& s) { return contains(s, piece); });
    };
    EXPECT_TRUE(sentAny("CREATE TABLE ["));
    EXPECT_TRUE(sentAny("] ADD "));
    EXPECT_TRUE(sentAny(" ALTER COLUMN "));
    EXPECT_TRUE(sentAny("EXECUTE sp_rename 'Tmp_"));

    // A second run has nothing left to create, add, rebuild or alter, except what the
    // server refused the first time.
    FakeHost secondHost;
    const std::vector<std::string> second = upgradeTarget(secondHost);
    std::set<std::string> alteredAgain;
    for (const std::string& statement : second) {
        EXPECT_FALSE(contains(statement, "CREATE TABLE")) << statement;
        EXPECT_FALSE(contains(statement, "] ADD ")) << statement;
        EXPECT_FALSE(contains(statement, "Tmp_")) << statement;
        if (contains(statement, " ALTER COLUMN ")) alteredAgain.insert(statement);
    }
    EXPECT_EQ(refused, alteredAgain);
    EXPECT_EQ(refused.size() + 1, secondHost.messages.size());
}

}  // namespace
}  // namespace structure
