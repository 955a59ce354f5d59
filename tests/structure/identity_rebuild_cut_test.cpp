// The identity rebuild against the sandbox, with the connection cut by the server at each
// batch the rebuild sends: the table and its rows are always either the old ones or the
// rebuilt ones, never neither.
#include <gtest/gtest.h>

#include <fstream>

#include "db/odbc/odbc_connection.h"
#include "fake_connection.h"
#include "fake_host.h"
#include "sandbox_server.h"
#include "structure/sql_set_identity.h"
#include "temp_dir.h"

namespace structure {
namespace {

using testsupport::SandboxOptions;
using testsupport::SandboxServer;

// A table whose name needs its brackets, its id not yet an identity column.
const char* const kTable = "Customer Orders";
const char* const kSeed =
    "CREATE TABLE [Customer Orders] ([id] [int] NOT NULL, [nome] [varchar] (20) NULL)\n"
    "GO\n"
    "INSERT INTO [Customer Orders] VALUES (1, 'um') INSERT INTO [Customer Orders] VALUES (2, "
    "'dois')\n"
    "INSERT INTO [Customer Orders] VALUES (3, 'O''Neil')\n"
    "GO\n";

// What a client sees of the table afterwards: its identity column (or none), its rows,
// and whether a rebuild table was left behind.
struct TableState {
    std::string identity;
    std::vector<std::string> rows;
    bool rebuildTableLeft = false;
    friend bool operator==(const TableState&, const TableState&) = default;
};

void PrintTo(const TableState& s, std::ostream* os) {
    *os << "identity=" << s.identity << " rows=";
    for (const auto& row : s.rows) *os << row << ";";
    *os << (s.rebuildTableLeft ? " with Tmp_" : "");
}

class IdentityRebuildCut : public ::testing::Test {
protected:
    IdentityRebuildCut() { std::ofstream(m_scripts.path() / "seed.sql") << kSeed; }

    SandboxOptions options() const {
        SandboxOptions o;
        o.loads = {{"app", m_scripts.path() / "seed.sql"}};
        return o;
    }

    std::unique_ptr<db::Connection> connect(const SandboxServer& server) const {
        return db::odbc::openServer(
            {"127.0.0.1," + std::to_string(server.port()), "app", "sa", server.password()});
    }

    // Gives [Customer Orders].id the identity property through the product's rebuild;
    // returns its result and the messages it showed.
    bool rebuild(const SandboxServer& server, std::vector<std::string>& messages) const {
        auto target = connect(server);
        testing_support::FakeConnection store;
        app::MainForm form;
        testing_support::FakeHost host;
        upgrade::UpgradeRun run{form,
                                host,
                                *target,
                                store,
                                upgrade::StatementRunner(*target, store, form, host,
                                                         upgrade::ExecutionMode::AbortOnError),
                                {},
                                {},
                                {},
                                false};
        const bool done = SQLSetIdentity(run, kTable, "id", 1);
        for (const auto& message : host.messages) messages.push_back(message.text);
        return done;
    }

    TableState stateOf(const SandboxServer& server) const {
        auto connection = connect(server);
        TableState state;
        db::Recordset identity = connection->open(
            "SELECT c.name FROM syscolumns c JOIN sysobjects o ON o.id = c.id "
            "WHERE o.name = 'Customer Orders' AND c.colstat & 1 = 1",
            db::CursorType::Static);
        state.identity = identity.eof() ? "-" : identity.field(0).value().toText();
        db::Recordset rows = connection->open("SELECT id, nome FROM [Customer Orders] ORDER BY id",
                                              db::CursorType::Static);
        for (; !rows.eof(); rows.moveNext())
            state.rows.push_back(rows.field(0).value().toText() + "|" +
                                 rows.field(1).value().toText());
        db::Recordset left =
            connection->open("SELECT COUNT(*) FROM sysobjects WHERE name = 'Tmp_Customer Orders'",
                             db::CursorType::Static);
        state.rebuildTableLeft = left.field(0).value().asInteger() != 0;
        return state;
    }

    testsupport::TempDir m_scripts{"rebuild-cut"};
};

const std::vector<std::string> kRows = {"1|um", "2|dois", "3|O'Neil"};
const TableState kOld{"-", kRows, false};
const TableState kRebuilt{"id", kRows, false};

TEST_F(IdentityRebuildCut, EveryCutLeavesTheOldOrTheRebuiltTable) {
    // A first run, traced, numbers the batches: the cuts then aim at each batch from the
    // rebuild's first statement to its COMMIT.
    testsupport::TempDir traceFolder{"rebuild-trace"};
    std::vector<std::string> batches;
    {
        SandboxOptions traced = options();
        traced.traceFile = traceFolder.path() / "trace.txt";
        SandboxServer server(traced);
        std::vector<std::string> messages;
        ASSERT_TRUE(rebuild(server, messages));
        EXPECT_EQ(messages, std::vector<std::string>{});
        EXPECT_EQ(stateOf(server), kRebuilt);
        std::ifstream trace(*traced.traceFile);
        for (std::string line; std::getline(trace, line);)
            batches.push_back(line.substr(line.find('\t') + 1));
    }
    std::size_t first = 0;
    while (first < batches.size() && batches[first] != "SET QUOTED_IDENTIFIER ON") ++first;
    ASSERT_LT(first, batches.size());
    std::size_t last = first;
    while (last < batches.size() && batches[last] != "COMMIT TRANSACTION") ++last;
    ASSERT_LT(last, batches.size());
    EXPECT_EQ(batches[last - 1], "EXECUTE sp_rename 'Tmp_Customer Orders', 'Customer Orders'");

    for (std::size_t cut = first; cut <= last; ++cut) {
        SCOPED_TRACE("cut at: " + batches[cut]);
        SandboxOptions options = this->options();
        options.cutAt = cut + 1;
        SandboxServer server(options);
        std::vector<std::string> messages;
        EXPECT_FALSE(rebuild(server, messages));
        EXPECT_EQ(messages,
                  std::vector<std::string>{"Unexpected EOF from the server"});  // FreeTDS's text
        EXPECT_EQ(stateOf(server), kOld);
    }
}

}  // namespace
}  // namespace structure
