#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "fake_engine.h"
#include "tds_test_client.h"
#include "temp_dir.h"
#include "wire/batch_trace.h"
#include "wire/tds_server.h"

namespace sandbox::testing {
namespace {

using namespace std::chrono_literals;

template <typename T>
std::vector<T> tokensOf(const ServerMessage& message) {
    std::vector<T> out;
    for (const auto& token : message.tokens)
        if (const auto* t = std::get_if<T>(&token)) out.push_back(*t);
    return out;
}

std::size_t rowCount(const ServerMessage& message) { return tokensOf<RowToken>(message).size(); }

// Token kinds in order, e.g. "COLMETADATA ROW DONE(11,C1,1)", for whole-stream checks.
std::string shape(const ServerMessage& message) {
    std::string out;
    for (const auto& token : message.tokens) {
        if (!out.empty()) out += ' ';
        if (std::holds_alternative<ColMetadataToken>(token)) out += "COLMETADATA";
        else if (std::holds_alternative<RowToken>(token)) out += "ROW";
        else if (const auto* d = std::get_if<DoneToken>(&token)) {
            char text[48];
            std::snprintf(text, sizeof text, "DONE(%X,%X,%u)", d->status, d->curCmd, d->rowCount);
            out += text;
        } else if (const auto* m = std::get_if<MessageToken>(&token))
            out += (m->error ? "ERROR " : "INFO ") + std::to_string(m->number);
        else if (const auto* e = std::get_if<EnvChangeToken>(&token))
            out += "ENVCHANGE " + std::to_string(e->type);
        else out += "LOGINACK";
    }
    return out;
}

class WireServer : public ::testing::Test {
protected:
    void SetUp() override { startServer(nullptr); }
    void TearDown() override { m_server->stop(); }

    void startServer(wire::BatchTrace* trace, std::chrono::milliseconds latency = 0ms) {
        if (m_server) m_server->stop();
        m_server = std::make_unique<wire::TdsServer>(m_engine,
                                                     wire::ServerOptions{0, "SANDBOX", trace, 0, latency});
        m_server->start();
    }
    std::unique_ptr<TdsTestClient> connect(std::uint32_t packetSize = 4096, int receiveBuffer = 0) {
        auto client = std::make_unique<TdsTestClient>(m_server->port(), receiveBuffer);
        const ServerMessage answer = client->login("sa", "secret", "", packetSize);
        EXPECT_EQ(1u, tokensOf<LoginAckToken>(answer).size());
        return client;
    }

    FakeEngine m_engine;
    std::unique_ptr<wire::TdsServer> m_server;
};

TEST_F(WireServer, PreloginAnswersEncryptionNotSupported) {
    TdsTestClient client(m_server->port());
    const ServerMessage reply = client.prelogin();
    ASSERT_EQ(1u, reply.packets.size());
    EXPECT_EQ(0x04, reply.packets[0].type);
    // Option table: VERSION, ENCRYPTION, INSTOPT, THREADID, terminator; ENCRYPTION's data
    // offset is at bytes 6-7 (big-endian).
    ASSERT_GE(reply.payload.size(), 21u);
    EXPECT_EQ(0x01, reply.payload[5]);
    const std::size_t encryptionAt = (reply.payload[6] << 8) | reply.payload[7];
    ASSERT_LT(encryptionAt, reply.payload.size());
    EXPECT_EQ(0x02, reply.payload[encryptionAt]);
}

TEST_F(WireServer, LoginIsAcknowledgedAsTds71WithSessionEnvironment) {
    TdsTestClient client(m_server->port());
    const ServerMessage answer = client.login("sa", "secret", "pubs", 8192, true);
    EXPECT_EQ("ENVCHANGE 1 INFO 5701 ENVCHANGE 7 ENVCHANGE 2 ENVCHANGE 4 INFO 5703 LOGINACK DONE(0,0,0)", shape(answer));
    const auto env = tokensOf<EnvChangeToken>(answer);
    EXPECT_EQ("pubs", env[0].newValue);
    EXPECT_EQ(std::string("\x09\x04\xD0\x00\x34", 5), env[1].newValue);
    EXPECT_EQ("us_english", env[2].newValue);
    EXPECT_EQ("8192", env[3].newValue);
    EXPECT_EQ("4096", env[3].oldValue);
    const auto info = tokensOf<MessageToken>(answer);
    EXPECT_EQ("Changed database context to 'pubs'.", info[0].text);
    EXPECT_EQ("Changed language setting to us_english.", info[1].text);
    const LoginAckToken ack = tokensOf<LoginAckToken>(answer).at(0);
    EXPECT_EQ(1, ack.interface);
    EXPECT_EQ(0x71000001u, ack.tdsVersion);
    EXPECT_EQ(std::string("Microsoft SQL Server\0\0", 22), ack.programName);
    EXPECT_EQ((Bytes{8, 0, 0x07, 0xF7}), ack.programVersion);
    for (const auto& packet : answer.packets) EXPECT_EQ(51, packet.spid);

    const LoginRequest request = m_engine.logins().at(0);
    EXPECT_EQ("sa", request.user);
    EXPECT_EQ("secret", request.password);
    EXPECT_EQ("pubs", request.database);
    EXPECT_EQ("wire-test", request.appName);
    EXPECT_EQ("testhost", request.hostName);
    EXPECT_TRUE(request.odbcDefaults);
}

TEST_F(WireServer, LoginWithoutOdbcFlagAsksForDbLibraryDefaults) {
    TdsTestClient client(m_server->port());
    client.login("sa", "secret", "", 4096, false);
    EXPECT_FALSE(m_engine.logins().at(0).odbcDefaults);
}

TEST_F(WireServer, RefusedLoginSendsErrorsThenDoneErrorAndCloses) {
    struct Case {
        const char* name;
        std::string user, password, database;
        std::string shape;
        std::string lastText;
    };
    const Case cases[] = {
        {"WrongPassword", "sa", "wrong", "", "ERROR 18456 DONE(2,0,0)", "Login failed for user 'sa'."},
        {"UnknownUser", "joe", "secret", "", "ERROR 18456 DONE(2,0,0)", "Login failed for user 'joe'."},
        {"UnknownDatabase", "sa", "secret", "nosuch", "ERROR 4060 ERROR 18456 DONE(2,0,0)", "Login failed for user 'sa'."},
    };
    for (const auto& c : cases) {
        TdsTestClient client(m_server->port());
        const ServerMessage answer = client.login(c.user, c.password, c.database);
        EXPECT_EQ(c.shape, shape(answer)) << c.name;
        const auto errors = tokensOf<MessageToken>(answer);
        EXPECT_EQ(14, errors.back().severity) << c.name;
        EXPECT_EQ(c.lastText, errors.back().text) << c.name;
        EXPECT_TRUE(client.closedByServer()) << c.name;
    }
}

TEST_F(WireServer, DoneTokensCarryCountErrorAndMoreBits) {
    auto client = connect();
    struct Case {
        const char* batch;
        std::string shape;
    };
    const Case cases[] = {
        {"insert", "DONE(10,0,3)"},
        {"two statements", "COLMETADATA ROW DONE(11,C1,1) INFO 3621 ERROR 2627 DONE(3,0,0) DONE(10,0,5)"},
        {"use other", "ENVCHANGE 1 INFO 5701 DONE(0,0,0)"},
        {"bad", "ERROR 208 DONE(2,0,0)"},
        {"throw", "ERROR 50000 DONE(2,0,0)"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.shape, shape(client->query(c.batch))) << c.batch;
}

TEST_F(WireServer, MessagesCarryNumberStateSeverityTextProcedureAndLine) {
    auto client = connect();
    const MessageToken error = tokensOf<MessageToken>(client->query("proc error")).at(0);
    EXPECT_TRUE(error.error);
    EXPECT_EQ(15023, error.number);
    EXPECT_EQ(1, error.state);
    EXPECT_EQ(16, error.severity);
    EXPECT_EQ("User or role 'r' already exists in the current database.", error.text);
    EXPECT_EQ("SANDBOX", error.serverName);
    EXPECT_EQ("sp_addrole", error.procName);
    EXPECT_EQ(32, error.line);

    const ServerMessage use = client->query("use other");
    const EnvChangeToken change = tokensOf<EnvChangeToken>(use).at(0);
    EXPECT_EQ("other", change.newValue);
    EXPECT_EQ("master", change.oldValue);
    EXPECT_FALSE(tokensOf<MessageToken>(use).at(0).error);
}

TEST_F(WireServer, EveryTypeDecodesAsOneRowSet) {
    auto client = connect();
    const ServerMessage answer = client->query("select types");
    const ColMetadataToken meta = tokensOf<ColMetadataToken>(answer).at(0);
    std::string types;
    for (const auto& c : meta.columns) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X ", c.type);
        types += hex;
    }
    EXPECT_EQ("26 26 26 26 68 6D 6D 6E 6E 6F 6F 6A 6C 24 AF A7 23 EF E7 63 AD A5 22 AD 62 ", types);
    EXPECT_EQ(80, meta.columns[23].userType);
    const auto rows = tokensOf<RowToken>(answer);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(9000u, rows[0].values[16]->size());   // text
    EXPECT_EQ(20000u, rows[0].values[22]->size());  // image
    for (const auto& value : rows[1].values) EXPECT_FALSE(value.has_value());
    EXPECT_EQ("DONE(10,C1,2)", shape(ServerMessage{{}, {}, {answer.tokens.back()}}));
}

TEST_F(WireServer, LargeResponseIsSplitAtTheNegotiatedPacketSize) {
    auto client = connect(512);
    const ServerMessage answer = client->query("select many 300");
    ASSERT_GT(answer.packets.size(), 50u);
    for (std::size_t i = 0; i < answer.packets.size(); ++i) {
        EXPECT_EQ(0x04, answer.packets[i].type);
        EXPECT_LE(answer.packets[i].length, 512);
        EXPECT_EQ(i + 1 == answer.packets.size() ? 0x01 : 0x00, answer.packets[i].status) << i;
    }
    EXPECT_EQ(300u, rowCount(answer));
    EXPECT_EQ(300u, std::get<DoneToken>(answer.tokens.back()).rowCount);
}

TEST_F(WireServer, RequestSplitAcrossPacketsIsReassembled) {
    auto client = connect(512);
    const std::string sql = "echo " + std::string(20000, 'q') + " \xC3\xA9";
    struct Case {
        const char* name;
        Bytes prefix;
    };
    // What a TDS 7.2+ client puts in front of the text: ALL_HEADERS with a transaction
    // descriptor.
    const Bytes allHeaders = {0x16, 0, 0, 0, 0x12, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    for (const Case& c : {Case{"PlainText", {}}, Case{"WithAllHeaders", allHeaders}}) {
        Bytes payload = c.prefix;
        const Bytes text = ucs2(sql);
        payload.insert(payload.end(), text.begin(), text.end());
        client->sendMessage(0x01, payload, 512);
        const ServerMessage answer = client->readMessage();
        const auto rows = tokensOf<RowToken>(answer);
        ASSERT_EQ(1u, rows.size()) << c.name;
        EXPECT_EQ(text, *rows[0].values[0]) << c.name;
    }
}

TEST_F(WireServer, AttentionAfterACompleteResponseIsAcknowledged) {
    auto client = connect();
    client->query("select many 3");
    client->sendAttention();
    EXPECT_EQ("DONE(20,0,0)", shape(client->readMessage()));
    EXPECT_EQ("DONE(10,0,3)", shape(client->query("insert")));
}

TEST_F(WireServer, AttentionDuringALargeResponseEndsItAtATokenBoundary) {
    auto client = connect(4096, 4096);
    client->sendBatch("select many 50000");
    Bytes first;
    client->readPacket(first);
    client->sendAttention();
    // Everything after the first packet up to the acknowledgement must decode cleanly.
    Bytes stream = first;
    for (;;) {
        const PacketInfo p = client->readPacket(stream);
        if (p.status & 0x01) {
            const auto tokens = decodeTokens(stream);
            const auto* done = std::get_if<DoneToken>(&tokens.back());
            if (done && done->status == 0x20) break;
        }
    }
    const ServerMessage all{{}, stream, decodeTokens(stream)};
    EXPECT_LT(rowCount(all), 50000u);
    EXPECT_EQ("DONE(10,0,3)", shape(client->query("insert")));
}

TEST_F(WireServer, AttentionWhileTheBatchRunsDiscardsItsResults) {
    auto client = connect();
    client->sendBatch("slow");
    std::this_thread::sleep_for(50ms);
    client->sendAttention();
    EXPECT_EQ("DONE(20,0,0)", shape(client->readMessage()));
    EXPECT_EQ("DONE(10,0,3)", shape(client->query("insert")));
}

TEST_F(WireServer, RpcRequestsAreRefusedWithAClearError) {
    auto client = connect();
    struct Case {
        const char* name;
        Bytes payload;
        std::string procedure;
    };
    Bytes named = {10, 0};
    const Bytes nameText = ucs2("sp_columns");
    named.insert(named.end(), nameText.begin(), nameText.end());
    named.insert(named.end(), {0, 0});
    const Case cases[] = {{"ById", {0xFF, 0xFF, 10, 0, 0, 0}, "sp_executesql"}, {"ByName", named, "sp_columns"}};
    for (const auto& c : cases) {
        client->sendMessage(0x03, c.payload);
        const ServerMessage answer = client->readMessage();
        EXPECT_EQ("ERROR 8009 DONE(2,0,0)", shape(answer)) << c.name;
        const MessageToken error = tokensOf<MessageToken>(answer).at(0);
        EXPECT_EQ(16, error.severity);
        EXPECT_EQ("Remote procedure calls are not supported: the sandbox accepts SQL batches only (the call of '" +
                      c.procedure + "' was refused).",
                  error.text);
    }
    EXPECT_EQ("DONE(10,0,3)", shape(client->query("insert")));
}

TEST_F(WireServer, AbandonedRequestIsAnsweredWithDoneError) {
    auto client = connect();
    client->sendMessage(0x01, ucs2("insert"), 4096, 0x01 | 0x02);
    EXPECT_EQ("DONE(2,0,0)", shape(client->readMessage()));
    EXPECT_EQ("DONE(10,0,3)", shape(client->query("insert")));
}

TEST_F(WireServer, InvalidFirstMessagesCloseOnlyThatConnection) {
    struct Case {
        const char* name;
        std::uint8_t type;
        Bytes payload;
    };
    const Case cases[] = {{"Tds50Login", 0x02, Bytes(512, 0)},
                          {"BatchBeforeLogin", 0x01, ucs2("insert")},
                          {"TruncatedLogin7", 0x10, Bytes(40, 0)}};
    for (const auto& c : cases) {
        TdsTestClient client(m_server->port());
        client.sendMessage(c.type, c.payload);
        EXPECT_TRUE(client.closedByServer()) << c.name;
    }
    EXPECT_EQ("DONE(10,0,3)", shape(connect()->query("insert")));
}

TEST_F(WireServer, ConcurrentConnectionsEachKeepTheirOwnSession) {
    auto other = connect();
    other->query("use other");
    std::vector<std::future<std::size_t>> runs;
    for (int i = 0; i < 4; ++i)
        runs.push_back(std::async(std::launch::async, [this] {
            auto client = connect();
            std::size_t rows = 0;
            for (int k = 0; k < 10; ++k) rows += rowCount(client->query("select many 100"));
            return rows;
        }));
    for (auto& run : runs) EXPECT_EQ(1000u, run.get());
    // A fresh connection starts in its own login database, whatever another one used.
    auto fresh = std::make_unique<TdsTestClient>(m_server->port());
    EXPECT_EQ("master", tokensOf<EnvChangeToken>(fresh->login("sa", "secret")).at(0).newValue);
}

TEST_F(WireServer, TraceRecordsEveryBatchWithItsConnection) {
    testsupport::TempDir dir("wire");
    wire::BatchTrace trace(dir / "trace.txt");
    startServer(&trace);
    auto first = connect();
    auto second = connect();
    first->query("insert");
    second->query("echo a\nb\\c");
    first->query("bad");
    EXPECT_EQ("51\tinsert\n52\techo a\\nb\\\\c\n51\tbad\n", testsupport::readFile(dir / "trace.txt"));
    EXPECT_EQ("echo a\nb\\c", wire::BatchTrace::unescape("echo a\\nb\\\\c"));
}

TEST_F(WireServer, LatencyHoldsBackTheLoginAnswerAndEachBatchAnswer) {
    startServer(nullptr, 150ms);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto client = connect();
    const auto loggedIn = Clock::now();
    EXPECT_EQ("DONE(10,0,3)", shape(client->query("insert")));
    EXPECT_EQ(3u, rowCount(client->query("select many 3")));
    const auto answered = Clock::now();
    EXPECT_GE(loggedIn - start, 150ms);
    EXPECT_GE(answered - loggedIn, 300ms);
}

TEST_F(WireServer, StopLetsTheBatchInFlightFinish) {
    auto client = connect();
    client->sendBatch("slow");
    std::this_thread::sleep_for(50ms);
    auto stopped = std::async(std::launch::async, [this] { m_server->stop(); });
    const ServerMessage answer = client->readMessage();
    EXPECT_EQ(2000u, rowCount(answer));
    stopped.get();
    EXPECT_TRUE(client->closedByServer());
}

}  // namespace
}  // namespace sandbox::testing
