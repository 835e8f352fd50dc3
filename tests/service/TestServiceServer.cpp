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

// The state file is replaced, never rewritten in place: a fresh 0600 file, never a link, renamed.
void ReportState(const std::string& dir, const char* word) {
    const std::string temporary = dir + "/state.tmp." + std::to_string(::getpid());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::string line = std::string(word) + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == ssize_t(line.size());
    ::close(fd);
    if (!written || std::rename(temporary.c_str(), (dir + "/state").c_str()) != 0)
        ::unlink(temporary.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("TORVO_SERVICE_DIR");
    if (!dir || !std::getenv("TORVO_SERVICE_LOCK_FD")) return 2;  // not launched by the console
    std::cout << "arguments:";  // standard output goes to the service's log
    for (int i = 1; i < argc; ++i) std::cout << " " << argv[i];
    std::cout << std::endl;
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &term, nullptr);  // taken by sigwait below
    Sleep("TEST_SERVER_READY_DELAY_MS");
    ReportState(dir, "running");
    int received = 0;
    ::sigwait(&term, &received);
    ReportState(dir, "stopping");
    Sleep("TEST_SERVER_STOP_DELAY_MS");
    return 0;
}
