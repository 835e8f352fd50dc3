#include "service/BaseCtrl.h"

#include <thread>
#include <utility>

#include "service/ServiceHandle.h"

namespace {

// Three restarts of the service, each 60 s after the failure; the failure count never resets.
FailureActions RestartThreeTimes() {
    FailureActions actions;
    actions.resetPeriodSec = 0;
    actions.actions.assign(3, {FailureActions::Type::kRestart, 60000});
    return actions;
}

}  // namespace

ServiceState MapRawState(uint32_t rawState) {
    switch (rawState) {
        case raw_state::kStopped:
        case raw_state::kContinuePending:
        case raw_state::kPausePending:
        case raw_state::kPaused:
            return kServiceStopped;
        case raw_state::kStartPending:
            return kServiceStartPending;
        case raw_state::kStopPending:
            return kServiceStopPending;
        case raw_state::kRunning:
            return kServiceRunning;
        default:
            return kServiceUnknown;
    }
}

BaseCtrl::BaseCtrl(std::shared_ptr<ServiceManager> manager, std::string serviceName,
                   std::string displayName, std::string description, std::string commandLine)
    : manager_(std::move(manager)),
      serviceName_(std::move(serviceName)),
      displayName_(std::move(displayName)),
      description_(std::move(description)),
      commandLine_(std::move(commandLine)) {}

BaseCtrl::~BaseCtrl() = default;

int BaseCtrl::QueryStatus() {
    ServiceHandle handle(*manager_, serviceName_);
    if (handle.Open() != service_error::kNone) return kServiceUnknown;
    uint32_t raw = 0;
    if (!handle.QueryState(raw)) return kServiceUnknown;
    return MapRawState(raw);
}

ServiceDefinition BaseCtrl::Definition() const {
    return {serviceName_, displayName_, commandLine_, true};
}

bool BaseCtrl::Install() {
    ServiceHandle handle(*manager_, serviceName_);
    const uint32_t openError = handle.Open();
    // An installed service is brought up to date; that failing leaves it usable as it was.
    if (handle.HasService()) {
        handle.Refresh(Definition());
        return true;
    }
    // An open that failed without saying why is taken as "nothing to do".
    if (openError == service_error::kNone) return true;

    uint32_t result = service_error::kNone;
    const ServiceDefinition definition = Definition();
    if (!handle.ReopenManager() || !handle.Create(definition)) {
        result = handle.LastError();
    } else {
        // The service is usable without these; their failures are ignored.
        if (!description_.empty()) handle.ChangeDescription(description_);
        handle.ChangeFailureActions(RestartThreeTimes());
    }
    return result == service_error::kNone;
}

bool BaseCtrl::Reserved() {
    return true;
}

bool BaseCtrl::Uninstall() {
    Stop(uninstallStopLimitMs_);
    ServiceHandle handle(*manager_, serviceName_);
    if (handle.Open() != service_error::kNone) return true;  // nothing to remove
    if (serviceName_.empty()) return false;
    if (handle.Delete()) return true;
    return handle.LastError() == service_error::kNone;
}

bool BaseCtrl::Start(uint32_t limitMs) {
    if (QueryStatus() != kServiceStopped) return true;
    std::chrono::steady_clock::time_point since;
    {
        ServiceHandle handle(*manager_, serviceName_);
        // A service that was stopped a moment ago and now cannot be opened was not started.
        if (handle.Open() != service_error::kNone) return false;
        since = std::chrono::steady_clock::now();
        if (serviceName_.empty()) return false;
        // What the backend derived from the system at install time may be stale (an entry of
        // the install folder gone or added since); a refresh that fails still lets it start.
        handle.Refresh(Definition());
        if (!handle.Start()) return false;
    }
    if (QueryStatus() == kServiceRunning) return true;
    return WaitForState(kServiceRunning, since, limitMs);
}

bool BaseCtrl::Stop(uint32_t limitMs) {
    if (QueryStatus() != kServiceRunning) return true;
    std::chrono::steady_clock::time_point since;
    {
        ServiceHandle handle(*manager_, serviceName_);
        if (handle.Open() != service_error::kNone) return false;
        since = std::chrono::steady_clock::now();
        uint32_t raw = 0;
        if (handle.QueryState(raw) && raw == raw_state::kRunning) handle.ControlStop();
    }
    if (QueryStatus() == kServiceStopped) return true;
    return WaitForState(kServiceStopped, since, limitMs);
}

bool BaseCtrl::Toggle(uint32_t limitMs) {
    if (QueryStatus() == kServiceUnknown) return true;
    return QueryStatus() == kServiceStopped ? Start(limitMs) : Stop(limitMs);
}

bool BaseCtrl::WaitForState(ServiceState target, std::chrono::steady_clock::time_point since,
                            uint32_t limitMs) {
    const std::chrono::milliseconds limit(limitMs);
    for (;;) {
        if (limitMs != kNoTimeLimit && std::chrono::steady_clock::now() - since > limit) {
            return false;
        }
        std::this_thread::sleep_for(pollInterval_);
        if (QueryStatus() == target) return true;
    }
}
