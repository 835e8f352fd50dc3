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

bool BaseCtrl::Fail(ServiceFailure::Kind kind, std::string detail) {
    failure_ = {kind, std::move(detail)};
    return false;
}

bool BaseCtrl::Refused(uint32_t code) {
    const std::string& words = ServiceManager::LastErrorText();
    return Fail(ServiceFailure::Kind::kRefused, words.empty() ? ServiceErrorText(code) : words);
}

bool BaseCtrl::Install() {
    failure_ = {};
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
    return result == service_error::kNone || Refused(result);
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
    failure_ = {};
    if (QueryStatus() != kServiceStopped) return true;
    std::chrono::steady_clock::time_point since;
    {
        ServiceHandle handle(*manager_, serviceName_);
        // A service that was stopped a moment ago and now cannot be opened was not started.
        if (const uint32_t error = handle.Open(); error != service_error::kNone) {
            return Refused(error);
        }
        since = std::chrono::steady_clock::now();
        if (serviceName_.empty()) return Refused(service_error::kServiceDoesNotExist);
        // What the backend derived from the system at install time may be stale (an entry of
        // the install folder gone or added since); a refresh that fails still lets it start.
        handle.Refresh(Definition());
        if (!handle.Start()) return Refused(handle.LastError());
    }
    if (QueryStatus() == kServiceRunning) return true;
    return WaitForState(kServiceRunning, since, limitMs);
}

bool BaseCtrl::Stop(uint32_t limitMs) {
    failure_ = {};
    if (QueryStatus() != kServiceRunning) return true;
    std::chrono::steady_clock::time_point since;
    {
        ServiceHandle handle(*manager_, serviceName_);
        if (const uint32_t error = handle.Open(); error != service_error::kNone) {
            return Refused(error);
        }
        since = std::chrono::steady_clock::now();
        uint32_t raw = 0;
        // A refused stop request is told at once rather than waited out.
        if (handle.QueryState(raw) && raw == raw_state::kRunning && !handle.ControlStop()) {
            return Refused(handle.LastError());
        }
    }
    if (QueryStatus() == kServiceStopped) return true;
    return WaitForState(kServiceStopped, since, limitMs);
}

bool BaseCtrl::Toggle(uint32_t limitMs) {
    failure_ = {};
    if (QueryStatus() == kServiceUnknown) return true;
    return QueryStatus() == kServiceStopped ? Start(limitMs) : Stop(limitMs);
}

bool BaseCtrl::WaitForState(ServiceState target, std::chrono::steady_clock::time_point since,
                            uint32_t limitMs) {
    const std::chrono::milliseconds limit(limitMs);
    bool pending = false;
    for (;;) {
        const auto waited = std::chrono::steady_clock::now() - since;
        if (limitMs != kNoTimeLimit && waited > limit) {
            return Fail(target == kServiceRunning ? ServiceFailure::Kind::kStartTimedOut
                                                  : ServiceFailure::Kind::kStopTimedOut);
        }
        std::this_thread::sleep_for(pollInterval_);
        const int state = QueryStatus();
        if (state == target) return true;
        pending |= state == kServiceStartPending;
        // Stopped again after a start: the program ended, and waiting longer changes nothing.
        if (target == kServiceRunning && state == kServiceStopped &&
            (pending || std::chrono::steady_clock::now() - since >= kStoppedGrace)) {
            return Fail(ServiceFailure::Kind::kExited, ExitReason());
        }
    }
}

std::string BaseCtrl::ExitReason() {
    ServiceHandle handle(*manager_, serviceName_);
    return handle.Open() == service_error::kNone ? handle.ExitReason() : std::string();
}
