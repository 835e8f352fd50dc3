#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// State numbers as a service manager reports them, before they are folded into ServiceState.
// Backends may report any number; those not listed here read as "unknown".
namespace raw_state {
inline constexpr uint32_t kStopped = 1;
inline constexpr uint32_t kStartPending = 2;
inline constexpr uint32_t kStopPending = 3;
inline constexpr uint32_t kRunning = 4;
inline constexpr uint32_t kContinuePending = 5;
inline constexpr uint32_t kPausePending = 6;
inline constexpr uint32_t kPaused = 7;
}  // namespace raw_state

// Error codes a backend leaves behind in LastError() after a failed call. 0 means "no code".
namespace service_error {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kInvalidHandle = 6;
inline constexpr uint32_t kAlreadyRunning = 1056;
inline constexpr uint32_t kManagerUnavailable = 1058;  // the backend itself cannot be reached
inline constexpr uint32_t kServiceDoesNotExist = 1060;
inline constexpr uint32_t kServiceNotActive = 1062;
inline constexpr uint32_t kStartFailed = 1064;  // the program could not be launched
inline constexpr uint32_t kServiceExists = 1073;
inline constexpr uint32_t kIoFailure = 1117;  // a file or bus operation failed

// The code for a failed file operation's errno: refused rights, else an I/O failure.
uint32_t FromErrno(int error);
}  // namespace service_error

// What Create registers.
struct ServiceDefinition {
    std::string name;         // the key the manager knows the service by
    std::string displayName;  // shown in the manager's lists
    std::string commandLine;  // program path and arguments
    bool autoStart = true;    // start with the system
};

// What happens when the service's program fails.
struct FailureActions {
    enum class Type : uint32_t { kNone = 0, kRestart = 1, kReboot = 2, kRunCommand = 3 };
    struct Action {
        Type type = Type::kNone;
        uint32_t delayMs = 0;
        bool operator==(const Action&) const = default;
    };
    uint32_t resetPeriodSec = 0;
    std::vector<Action> actions;
    bool operator==(const FailureActions&) const = default;
};

// The operations the service logic asks of the platform's service manager. Every operation
// opens what it needs and lets its handles go before returning: handles are owned objects
// that close when destroyed. A failed call returns false/nullptr and leaves a code in
// LastError() (per thread, like errno); a call may also fail without a code (LastError() 0).
class ServiceManager {
public:
    class Manager {
    public:
        virtual ~Manager() = default;
    };
    class Service {
    public:
        virtual ~Service() = default;
    };

    virtual ~ServiceManager() = default;

    virtual std::unique_ptr<Manager> OpenManager() = 0;
    virtual std::unique_ptr<Service> OpenService(Manager& manager, const std::string& name) = 0;
    virtual std::unique_ptr<Service> CreateService(Manager& manager,
                                                   const ServiceDefinition& definition) = 0;
    // Brings an existing service's registration up to `definition` where the backend derives
    // more than the definition from the system (true when nothing needed doing).
    virtual bool RefreshService(Service& service, const ServiceDefinition& definition);
    virtual bool ChangeDescription(Service& service, const std::string& description) = 0;
    virtual bool ChangeFailureActions(Service& service, const FailureActions& actions) = 0;
    virtual bool StartService(Service& service) = 0;
    virtual bool ControlStop(Service& service) = 0;
    // Reads the raw state number (see raw_state).
    virtual bool QueryServiceState(Service& service, uint32_t& state) = 0;
    virtual bool DeleteService(Service& service) = 0;

    // Why the service's program ended, in its own words where it left any (the server's
    // reason, or what the manager recorded); empty when nothing is known.
    virtual std::string ExitReason(Service& service);
    // The code left by the calling thread's last failed call.
    virtual uint32_t LastError() const;
    // The words that came with that failure (the manager's message, the refused folder), or
    // empty.
    static const std::string& LastErrorText();
    // Backends (and the logic's own handle checks) record a failure's code here, and what
    // they know of it.
    static void SetLastError(uint32_t code, std::string text = {});
};
