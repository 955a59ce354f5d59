// The sandbox's TDS side: packet framing, PRELOGIN, LOGIN7, SQL batch and RPC decoding,
// attention and the response encoder, through ClientConnection::serve() on one end of a
// socket pair. The input is what a client sends (packets with their headers, as the
// seeds show); the engine behind it is a stand-in that answers each batch with the text
// it received (in an nvarchar and a varchar column and an informational message). The
// connection must end by itself, whatever the bytes: no crash, no hang, no leak.

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "api/engine.h"
#include "fuzz_check.h"
#include "wire/client_connection.h"

namespace {

using namespace sandbox;

class EchoSession : public Session {
public:
    Response executeBatch(std::string_view sql) override {
        RowSet rows;
        rows.columns = {ColumnMeta{"n", SqlType::NVarChar, 8000, 0, 0, true, false, ""},
                        ColumnMeta{"v", SqlType::VarChar, 8000, 0, 0, true, false, ""},
                        ColumnMeta{"i", SqlType::Int, 4, 0, 0, false, false, ""}};
        rows.rows = {{db::Value::text(std::string(sql)), db::Value::text(std::string(sql)),
                      db::Value::integer(static_cast<std::int64_t>(sql.size()))}};
        Response response;
        response.items = {rows, Done{true, 1, false},
                          Message{0, 1, 0, std::string(sql.substr(0, 400)), "", 1}, Done{}};
        return response;
    }
    std::string currentDatabase() const override { return "app"; }
};

class EchoEngine : public Engine {
public:
    LoginResult login(const LoginRequest& request) override {
        LoginResult result;
        if (request.user == "nobody") {
            result.messages.push_back(Message{18456, 1, 14, "Login failed for user 'nobody'.", "", 1});
            return result;
        }
        result.session = std::make_unique<EchoSession>();
        result.database = request.database.empty() ? "master" : request.database;
        return result;
    }
};

// Reads and drops whatever the server sends, so that it never waits on a full socket.
void drain(int fd) {
    char buffer[65536];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static EchoEngine engine;
    int fds[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0, "socketpair");
    std::thread reader(drain, fds[0]);
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fds[0], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(fds[0], SHUT_WR);
    {
        wire::ConnectionContext context;
        context.engine = &engine;
        context.spid = 51;
        context.serverName = "FUZZ";
        wire::ClientConnection connection(fds[1], context);
        connection.serve();
    }  // closes fds[1]: the reader sees the end
    reader.join();
    ::close(fds[0]);
    return 0;
}
