#include "service/DetachedLaunch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "service/UniqueFd.h"

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

namespace {

// Only async-signal-safe calls from here on: the console may have other threads.
void WriteAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
}

// The lock is let go before the failure is told, so that the caller never sees a server
// that is not there.
[[noreturn]] void FailChild(int statusFd, int error, int lockFd = -1) {
    if (lockFd >= 0) ::flock(lockFd, LOCK_UN);
    WriteAll(statusFd, &error, sizeof(error));
    ::_exit(127);
}

void WritePid(int fd, pid_t pid) {
    char text[16];
    int length = 0;
    char reversed[16];
    do {
        reversed[length++] = static_cast<char>('0' + pid % 10);
        pid /= 10;
    } while (pid > 0 && length < 15);
    for (int i = 0; i < length; ++i) text[i] = reversed[length - 1 - i];
    text[length++] = '\n';
    if (::ftruncate(fd, 0) == 0) WriteAll(fd, text, static_cast<size_t>(length));
}

// Waits a little for the lock: a console probing liveness holds it only for an instant,
// while a server that still holds it must not be joined by a second one.
void TakeLock(int lockFd, int statusFd) {
    for (int attempt = 0; ::flock(lockFd, LOCK_EX | LOCK_NB) != 0; ++attempt) {
        if (errno != EWOULDBLOCK && errno != EINTR) FailChild(statusFd, errno);
        if (attempt == 200) FailChild(statusFd, EWOULDBLOCK);
        const timespec pause{0, 10 * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
}

[[noreturn]] void RunServer(const DetachedLaunch& launch, char* const* argv, char* const* envp,
                            int devNull, int statusFd) {
    TakeLock(launch.lockFd, statusFd);
    WritePid(launch.lockFd, ::getpid());
    if (::dup2(devNull, STDIN_FILENO) < 0 || ::dup2(launch.outputFd, STDOUT_FILENO) < 0 ||
        ::dup2(launch.outputFd, STDERR_FILENO) < 0) {
        FailChild(statusFd, errno, launch.lockFd);
    }
    // Nothing else of the console's leaks into the server; the lock descriptor survives.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    ::fcntl(statusFd, F_SETFD, FD_CLOEXEC);
    ::fcntl(launch.lockFd, F_SETFD, 0);
    for (const int fd : launch.passedFds) ::fcntl(fd, F_SETFD, 0);
    // A fresh program starts with default signal handling and nothing blocked.
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD, SIGQUIT}) {
        ::signal(signal, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (launch.account) {
        if (const int error = BecomeAccount(*launch.account); error != 0) {
            FailChild(statusFd, error, launch.lockFd);
        }
    }
    ::execve(argv[0], argv, envp);
    FailChild(statusFd, errno, launch.lockFd);
}

}  // namespace

int LaunchDetached(const DetachedLaunch& launch) {
    if (launch.argv.empty() || launch.lockFd <= STDERR_FILENO || launch.outputFd <= STDERR_FILENO) {
        return EINVAL;
    }
    for (const int fd : launch.passedFds) {
        if (fd <= STDERR_FILENO) return EINVAL;
    }

    // Everything the children need is prepared before fork.
    std::vector<char*> argv;
    for (const std::string& word : launch.argv) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : launch.environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);
    UniqueFd devNull = OpenHighFd("/dev/null", O_RDONLY);
    if (!devNull.valid()) return errno;
    // The exec closes the status pipe's write end: end of stream means the program runs.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return errno;
    UniqueFd statusRead(pipeFds[0]);
    UniqueFd statusWrite(pipeFds[1]);

    const pid_t intermediate = ::fork();
    if (intermediate < 0) return errno;
    if (intermediate == 0) {
        ::setsid();
        const pid_t server = ::fork();
        if (server < 0) FailChild(statusWrite.get(), errno);
        if (server == 0) {
            RunServer(launch, argv.data(), envp.data(), devNull.get(), statusWrite.get());
        }
        ::_exit(0);
    }
    statusWrite.Reset();
    int status = 0;
    while (::waitpid(intermediate, &status, 0) < 0 && errno == EINTR) {
    }

    int childError = 0;
    ssize_t n;
    while ((n = ::read(statusRead.get(), &childError, sizeof(childError))) < 0 && errno == EINTR) {
    }
    if (n == static_cast<ssize_t>(sizeof(childError))) return childError != 0 ? childError : EIO;
    return 0;
}
