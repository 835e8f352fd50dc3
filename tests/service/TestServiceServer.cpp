// A stand-in proxy server following docs/local-service-backend.md. Knobs (environment):
// TEST_SERVER_READY_DELAY_MS before "running", TEST_SERVER_STOP_DELAY_MS from "stopping" to exit.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

namespace {

void Sleep(const char* variable) {
    const char* value = std::getenv(variable);
    std::this_thread::sleep_for(std::chrono::milliseconds(value ? std::atoi(value) : 0));
}

// The state word goes through the descriptor the console handed over: rewritten in place,
// padded to eight characters, in one write at the start of the file.
void ReportState(int fd, const char* word) {
    char record[16];
    const int length = std::snprintf(record, sizeof record, "%-8s\n", word);
    if (::pwrite(fd, record, static_cast<size_t>(length), 0) != length) std::exit(3);
}

}  // namespace

int main(int argc, char** argv) {
    const char* state = std::getenv("TORVO_SERVICE_STATE_FD");
    if (!std::getenv("TORVO_SERVICE_LOCK_FD") || !state) return 2;  // not launched by the console
    const int stateFd = std::atoi(state);
    std::cout << "arguments:";  // standard output goes to the service's log
    for (int i = 1; i < argc; ++i) std::cout << " " << argv[i];
    std::cout << std::endl;
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &term, nullptr);  // taken by sigwait below
    Sleep("TEST_SERVER_READY_DELAY_MS");
    ReportState(stateFd, "running");
    int received = 0;
    ::sigwait(&term, &received);
    ReportState(stateFd, "stopping");
    Sleep("TEST_SERVER_STOP_DELAY_MS");
    return 0;
}
