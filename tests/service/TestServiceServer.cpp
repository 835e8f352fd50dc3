// A stand-in proxy server for the local backend's tests, following its contract
// (docs/local-service-backend.md) with plain POSIX calls. Knobs (environment):
// TEST_SERVER_READY_DELAY_MS (before reporting "running"), TEST_SERVER_STOP_DELAY_MS (between
// "stopping" and exit).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

int EnvNumber(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : 0;
}

// The state file is replaced, never rewritten in place.
void ReportState(const std::string& dir, const std::string& word) {
    const std::string temporary = dir + "/state.tmp." + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const bool written = ::write(fd, (word + "\n").data(), word.size() + 1) > 0;
    ::close(fd);
    if (written) ::rename(temporary.c_str(), (dir + "/state").c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("TORVO_SERVICE_DIR");
    if (!dir || !std::getenv("TORVO_SERVICE_LOCK_FD")) return 2;  // not launched by the console
    // Standard output goes to the service's log.
    std::string arguments = "arguments:";
    for (int i = 1; i < argc; ++i) arguments += std::string(" ") + argv[i];
    arguments += "\n";
    if (::write(STDOUT_FILENO, arguments.data(), arguments.size()) < 0) return 4;

    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &term, nullptr);  // taken by sigwait below
    std::this_thread::sleep_for(std::chrono::milliseconds(EnvNumber("TEST_SERVER_READY_DELAY_MS")));
    ReportState(dir, "running");
    int received = 0;
    ::sigwait(&term, &received);
    ReportState(dir, "stopping");
    std::this_thread::sleep_for(std::chrono::milliseconds(EnvNumber("TEST_SERVER_STOP_DELAY_MS")));
    return 0;
}
