// A stand-in proxy server for the local service backend's tests. It follows the local
// backend's contract (docs/local-service-backend.md) with plain POSIX calls only, so it also
// shows that the contract can be followed without the console's code.
//
// Test knobs (environment): TEST_SERVER_READY_DELAY_MS (wait before reporting "running"),
// TEST_SERVER_STOP_DELAY_MS (wait between "stopping" and exit), TEST_SERVER_IGNORE_TERM=1
// (never stop on SIGTERM).
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
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

bool WriteFile(const std::string& path, const std::string& content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok =
        ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    return ok;
}

// The state file is replaced, never rewritten in place.
void ReportState(const std::string& dir, const char* word) {
    const std::string temporary = dir + "/state.tmp." + std::to_string(::getpid());
    if (WriteFile(temporary, std::string(word) + "\n")) {
        ::rename(temporary.c_str(), (dir + "/state").c_str());
    }
}

// Started by hand, not by the console: take the pid file's lock ourselves.
bool TakeLock(const std::string& dir) {
    const int fd = ::open((dir + "/server.pid").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) return false;  // another one runs
    const std::string pid = std::to_string(::getpid()) + "\n";
    return ::ftruncate(fd, 0) == 0 &&
           ::write(fd, pid.data(), pid.size()) == static_cast<ssize_t>(pid.size());
    // fd stays open: the lock lasts as long as this process
}

}  // namespace

int main(int argc, char** argv) {
    const char* dirVariable = std::getenv("TORVO_SERVICE_DIR");
    if (!dirVariable) return 2;
    const std::string dir = dirVariable;
    if (!std::getenv("TORVO_SERVICE_LOCK_FD") && !TakeLock(dir)) return 3;

    // Standard output goes to the service's log when the console launched us.
    std::string arguments = "arguments:";
    for (int i = 1; i < argc; ++i) arguments += std::string(" ") + argv[i];
    arguments += "\n";
    if (::write(STDOUT_FILENO, arguments.data(), arguments.size()) < 0) return 4;

    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    if (EnvNumber("TEST_SERVER_IGNORE_TERM")) {
        ::signal(SIGTERM, SIG_IGN);
    } else {
        ::sigprocmask(SIG_BLOCK, &term, nullptr);
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(EnvNumber("TEST_SERVER_READY_DELAY_MS")));
    ReportState(dir, "running");

    if (EnvNumber("TEST_SERVER_IGNORE_TERM")) {
        for (;;) ::pause();
    }
    int signal = 0;
    ::sigwait(&term, &signal);
    ReportState(dir, "stopping");
    std::this_thread::sleep_for(std::chrono::milliseconds(EnvNumber("TEST_SERVER_STOP_DELAY_MS")));
    return 0;
}
