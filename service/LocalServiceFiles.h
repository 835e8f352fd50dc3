#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// The files through which the local service backend and a server share registration,
// liveness and state (see docs/local-service-backend.md). One directory per service.
namespace local_service {

// Environment variables: the root folder override (console side), and what a launched
// server receives.
inline constexpr const char* kRootVariable = "TORVO_LOCAL_SERVICE_ROOT";
inline constexpr const char* kServiceDirVariable = "TORVO_SERVICE_DIR";
inline constexpr const char* kLockFdVariable = "TORVO_SERVICE_LOCK_FD";
inline constexpr const char* kStateFdVariable = "TORVO_SERVICE_STATE_FD";
inline constexpr const char* kFailureFdVariable = "TORVO_SERVICE_FAILURE_FD";

// State words a server writes into the state file.
inline constexpr const char* kStarting = "starting";
inline constexpr const char* kRunning = "running";
inline constexpr const char* kStopping = "stopping";
inline constexpr const char* kStopped = "stopped";
// The line the console writes into server.log before each start: what follows it is the
// started server's own output.
inline constexpr const char* kLaunchMarker = "--- started by the console ---";

struct Paths {
    explicit Paths(const std::string& serviceDir);
    std::string dir;
    std::string registration;  // service.conf: present = installed
    std::string pidFile;       // server.pid: the server's pid, flock-ed while it lives
    std::string stateFile;     // state: one state word
    std::string logFile;       // server.log: the server's standard output and error
    std::string controlLock;   // control.lock: serialises consoles changing the service
    std::string failureFile;   // failure: one line, why the server ended before it ran
};

// <root>/<service name>; the root is $TORVO_LOCAL_SERVICE_ROOT, else "services" beside
// the console executable.
std::string DefaultRoot();

// Empty when the root and the service's folder are this account's own, mode 0700, not links;
// else the reason. With `make`, missing ones are made first (the root's parent too).
std::string CheckFolders(const std::string& root, const Paths& paths, bool make = false);

// Every file below is opened without following a link and only when it is a regular file
// (a FIFO is refused at once); files made here are 0600.
using Registration = std::map<std::string, std::string>;
std::optional<Registration> ReadRegistration(const std::string& path);
// Written to a temporary file made exclusively (never an existing file or a link) and renamed
// into place, so readers never see half of it. The file gets exactly `mode`, whatever the umask.
bool WriteFileAtomically(const std::string& path, const std::string& content, mode_t mode = 0600);
bool WriteRegistration(const std::string& path, const Registration& registration);

// The state file is rewritten in place, never replaced: a server that may not create files in
// the service's folder writes through the descriptor the console handed it. Each word is padded
// to one width and written at the start in one write, so no reader sees a shorter file.
bool WriteStateWord(int fd, const char* word);
// Opens (made 0600 when missing) and writes the state file.
bool WriteStateWord(const Paths& paths, const char* word);

// True while some process holds the lock on the pid file.
bool ServerAlive(const Paths& paths);
// The pid recorded in the pid file, when it holds a plausible one (for the record only: it is
// never signalled on its own word).
std::optional<pid_t> RecordedPid(const Paths& paths);
// A process that has the pid file open with its exclusive lock on that descriptor (the pid in
// /proc/locks is that of whoever took the lock, who may have handed it on and ended).
std::optional<pid_t> LockHolder(const Paths& paths);
// Sends `signal` to the lock holder alone: through a pidfd opened on it and checked, after it
// was opened, to still hold the lock (so a pid reused meanwhile is never hit). 0 or an errno
// (ESRCH: nobody holds the lock).
int SignalLockHolder(const Paths& paths, int signal);
// The first line of the state file; a word torn by a concurrent write is read again.
std::string ReadStateWord(const Paths& paths);
// Why the last start failed, in the server's words: the failure file's line, else the last
// line the server wrote to server.log after the console's launch marker (a log line's
// severity, time and source prefix taken off); empty when it left none.
std::string ReadExitReason(const Paths& paths);
// Raw state number (raw_state::...): stopped unless a live server holds the lock; then by
// the state word it wrote.
uint32_t ReadRawState(const Paths& paths);

}  // namespace local_service
