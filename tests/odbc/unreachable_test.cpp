#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "db/error.h"
#include "db/odbc/odbc_connection.h"

namespace db::odbc {
namespace {

// A loopback port with nothing listening: bound, never listened on, closed.
int unusedPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

TEST(OpenServer, NoListenerGivesTheUnreachableNumber) {
    ServerSettings settings{"127.0.0.1," + std::to_string(unusedPort()), "master", "sa", "pw"};
    settings.connectTimeoutSeconds = 5;
    try {
        openServer(settings);
        FAIL() << "connected";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errc::kUnreachable);
        // tdsodbc 1.3.17 words a refused TCP connection so, then adds its 08001 summary.
        EXPECT_EQ(e.description(),
                  "Unable to connect: Adaptive Server is unavailable or does not exist");
        EXPECT_EQ(e.sqlstate(), "08S01");
        EXPECT_GE(e.records().size(), 2u);
    }
}

}  // namespace
}  // namespace db::odbc
