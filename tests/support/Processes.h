#pragma once
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace test {

// Whether `condition` came true within `limit` (asked every 10 ms): a bound against hanging,
// not a measured time, so it is generous enough for a loaded machine.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// In a child just forked by `parent`: it is killed when the thread that forked it ends (its
// test, which forks on the test's own thread); false when that happened before the call.
inline bool DieWithParent(pid_t parent) {
    return ::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && ::getppid() == parent;
}

// When this program ends, however it ends (kill -9 included), a watcher outside it kills every
// process still running `program` and removes `folder`. `program` is a copy private to the
// test, so what runs it is the test's own: the servers it started, detached ones too.
inline void SweepWhenThisProgramEnds(const std::string& program, const std::string& folder) {
    static constexpr char kSweep[] =
        "cat >/dev/null\n"  // until the program's end closes the pipe
        "for p in /proc/[0-9]*; do\n"
        "  case \"$(readlink \"$p/exe\")\" in \"$1\"|\"$1 (deleted)\") kill -9 \"${p#/proc/}\";; "
        "esac\n"
        "done\n"
        "rm -rf -- \"$2\"\n";
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return;  // no program it starts keeps the write end
    if (::fork() == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (::dup2(ends[0], 0) < 0 || null < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0)
            ::_exit(1);
        ::execl("/bin/sh", "sh", "-c", kSweep, "sh", program.c_str(), folder.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(ends[0]);  // the write end lives as long as the program
}

// A child process that takes the exclusive lock of `path` (made 0600 when missing, never
// through a link), writes `text` into it and waits to be killed; as account `uid` (group
// alike) when given. Killed and reaped with the guard.
class LockHolder {
public:
    explicit LockHolder(const std::string& path, const std::string& text = "",
                        uid_t uid = static_cast<uid_t>(-1)) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            if (uid != static_cast<uid_t>(-1) &&
                (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 ||
                 ::setresuid(uid, uid, uid) != 0))
                ::_exit(1);
            if (!DieWithParent(parent)) ::_exit(1);  // after the account change, which clears it
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
            if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) ::_exit(1);
            (void)!::write(fd, text.data(), text.size());
            (void)!::write(ready[1], "x", 1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char byte;
        held_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~LockHolder() {
        if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) Reap();
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool held() const { return held_; }
    pid_t pid() const { return pid_; }
    // Waits for the child to end: the signal that ended it, 0 for an exit, -1 when it lives on.
    int Reap() {
        int status = 0;
        if (pid_ <= 0 || !WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }))
            return -1;
        pid_ = -1;
        return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

}  // namespace test
