#pragma once

#include <string>

// How the server tells its service manager about itself. Under systemd it reports readiness
// and stopping through sd_notify. Under the console's local service backend
// (docs/local-service-backend.md) it holds the lock on server.pid for its whole life and
// writes the state word and its failure through descriptors it was handed (the console may
// run it as an account that cannot open them) or opened itself when started by hand. Started
// by hand without "-s" it does neither.
class ServiceMode {
public:
    enum class Kind { kForeground, kSystemd, kLocal };

    // "-s" under systemd (which sets INVOCATION_ID or NOTIFY_SOCKET) or else the local backend.
    static Kind Detect(bool serviceFlag);

    explicit ServiceMode(Kind kind) : kind_(kind) {}
    ~ServiceMode();
    ServiceMode(const ServiceMode&) = delete;
    ServiceMode& operator=(const ServiceMode&) = delete;

    // Local backend: keeps the lock and files the launcher handed over, or takes the lock
    // (retrying for 2 s) and opens the files. False, with the reason, when another server
    // holds it or the folder is not safe.
    bool Begin(std::string& error);
    void Ready();
    void Stopping();
    // The start failed and the process is about to end: tells why, in a line the console
    // shows (systemd: the unit's status text; local backend: the failure file, state
    // "stopped").
    void Failed(const std::string& reason);

    Kind kind() const { return kind_; }

private:
    bool WriteState(const char* word);
    bool TakeHandedFiles(std::string& error);
    bool OpenFiles(std::string& error);

    Kind kind_;
    std::string dir_;
    int lockFd_ = -1;         // the locked server.pid, kept open until the process ends
    int stateFd_ = -1;        // the state file, open for writing
    int failureFd_ = -1;      // the failure file, open for writing
    bool holdsLock_ = false;  // the folder is this server's to write in
};
