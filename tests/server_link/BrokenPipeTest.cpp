// A request written to a connection the server has already reset must fail that exchange, not
// end the console with SIGPIPE. The client looks for unasked bytes just before each request; this
// program replaces recv (so it is an executable of its own) to let one reset land right after
// that look, the moment a real server's reset can still slip in.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>

#include "server_link/MQClient.h"
#include "tests/fakes/ScriptedChannelServer.h"

namespace {

// Armed: the next look for unasked bytes first waits for the peer's reset, then reports
// "nothing waiting" as if the reset had come a moment later.
std::atomic<bool> gHideNextReset{false};

}  // namespace

extern "C" ssize_t recv(int fd, void* buffer, size_t size, int flags) {
    using Recv = ssize_t (*)(int, void*, size_t, int);
    static const auto real = reinterpret_cast<Recv>(dlsym(RTLD_NEXT, "recv"));
    if (!(flags & MSG_DONTWAIT) || !gHideNextReset.exchange(false))
        return real(fd, buffer, size, flags);
    pollfd reset{fd, POLLIN, 0};
    ::poll(&reset, 1, 2000);
    const ssize_t result = real(fd, buffer, size, flags);  // collects the reset
    if (result < 0 && errno == ECONNRESET) errno = EAGAIN;
    return result < 0 ? -1 : result;
}

namespace {

using namespace std::chrono_literals;
using Reply = ScriptedChannelServer::Reply;

TEST(MQClientBrokenPipe, ARequestToAResetConnectionFailsQuietlyAndIsRetried) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScriptedChannelServer server;
    ASSERT_TRUE(server.Start());
    // Each reply is followed by a reset 50 ms later, while no request is pending.
    server.SetReply("system", Reply{{"2\r\nok", ""}, 50ms, Reply::Close::kReset});
    const auto exchange = [&] {
        std::signal(SIGPIPE, SIG_DFL);  // a send without MSG_NOSIGNAL would end this process
        MQClient client;
        client.SetPort(server.port());
        client.SetRunningCheck([] { return true; });
        std::string reply;
        const bool first = client.System(reply) && reply == "ok";
        gHideNextReset = true;
        // The request meets the reset connection: EPIPE, then a fresh connection answers.
        const bool second = client.System(reply) && reply == "ok";
        std::exit(first && second && !gHideNextReset ? 0 : 1);
    };
    EXPECT_EXIT(exchange(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
