#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "service/ServiceFailure.h"
#include "service/ServiceManager.h"
#include "service/ServiceState.h"

// A time limit that switches the time check off.
inline constexpr uint32_t kNoTimeLimit = 0xFFFFFFFF;

// Folds a manager's raw state number into ServiceState; paused and pausing count as stopped,
// numbers it does not know as unknown.
ServiceState MapRawState(uint32_t rawState);

// One service under the platform's service manager: its four texts and the operations that
// install, remove, start, stop and query it. Holds no handle between operations; every
// operation opens the manager and the service afresh.
class BaseCtrl {
public:
    BaseCtrl(std::shared_ptr<ServiceManager> manager, std::string serviceName,
             std::string displayName, std::string description, std::string commandLine);
    virtual ~BaseCtrl();

    // True when the service exists afterwards (already there, brought up to date, or created).
    virtual bool Install();
    // Does nothing; kept so the operation set stays complete.
    virtual bool Reserved();
    // True when the service is gone or could not be opened.
    virtual bool Uninstall();
    virtual bool Start(uint32_t limitMs);
    virtual bool Stop(uint32_t limitMs);
    // Starts a stopped service, stops any other; an unknown service is left alone.
    virtual bool Toggle(uint32_t limitMs);
    virtual int QueryStatus();
    // Why the calling thread's last Install, Start, Stop or Toggle of this object failed
    // (kind kNone after a success).
    const ServiceFailure& LastFailure() const { return failure_; }

    const std::string& Description() const { return description_; }
    const std::string& CommandLine() const { return commandLine_; }

    // How often Start and Stop ask for the state while they wait (200 ms by default).
    void SetPollInterval(std::chrono::milliseconds interval) { pollInterval_ = interval; }
    // A start that reads stopped again without having read start pending is taken as ended
    // once this much time has passed since the request (a manager may take a moment to
    // begin the start).
    static constexpr std::chrono::milliseconds kStoppedGrace{1000};
    // The limit Uninstall's stop waits for (none by default).
    void SetUninstallStopLimit(uint32_t limitMs) { uninstallStopLimitMs_ = limitMs; }

protected:
    ServiceManager& Manager() const { return *manager_; }

private:
    ServiceDefinition Definition() const;
    // Polls until QueryStatus returns the target; false once the limit is exceeded, or (for
    // running) once the service reads stopped again: its program ended.
    bool WaitForState(ServiceState target, std::chrono::steady_clock::time_point since,
                      uint32_t limitMs);
    // What the manager knows of why the service's program ended.
    std::string ExitReason();
    // Records why the operation failed; returns false.
    bool Fail(ServiceFailure::Kind kind, std::string detail = {});
    // A refusal of the manager: its words, else the text of the code `handle` left.
    bool Refused(uint32_t code);

    std::shared_ptr<ServiceManager> manager_;
    std::string serviceName_;
    std::string displayName_;
    std::string description_;
    std::string commandLine_;
    std::chrono::milliseconds pollInterval_{200};
    uint32_t uninstallStopLimitMs_ = kNoTimeLimit;
    ServiceFailure failure_;
};
