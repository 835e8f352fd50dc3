#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "service/ServiceManager.h"

// Service manager over systemd's D-Bus interface (sd-bus, system bus). A service is the
// unit "<name>.service": Create writes its unit file into the unit directory, reloads and
// enables it for multi-user.target; the description and failure actions are drop-in files
// beside it (all readable by everyone: they hold no secret); start, stop and state go through the
// manager's StartUnit, StopUnit and the unit's ActiveState/SubState. Needs root for everything but
// the state.
class SystemdServiceManager : public ServiceManager {
public:
    static constexpr const char* kSystemUnitDirectory = "/etc/systemd/system";

    SystemdServiceManager();
    explicit SystemdServiceManager(std::string unitDirectory);

    std::unique_ptr<Manager> OpenManager() override;
    std::unique_ptr<Service> OpenService(Manager& manager, const std::string& name) override;
    std::unique_ptr<Service> CreateService(Manager& manager,
                                           const ServiceDefinition& definition) override;
    // Rewrites the unit file this backend wrote for the same program when the install folder
    // changed since (an entry added or gone), so the protection follows the folder as it is.
    bool RefreshService(Service& service, const ServiceDefinition& definition) override;
    bool ChangeDescription(Service& service, const std::string& description) override;
    bool ChangeFailureActions(Service& service, const FailureActions& actions) override;
    bool StartService(Service& service) override;
    bool ControlStop(Service& service) override;
    bool QueryServiceState(Service& service, uint32_t& state) override;
    bool DeleteService(Service& service) override;
    std::string ExitReason(Service& service) override;

private:
    std::string unitDirectory_;
};

namespace systemd_service {

// The raw state (raw_state::...) for a unit's ActiveState and SubState; 0 for states it
// does not know. A unit waiting to be restarted after a failure reads as stopped.
uint32_t RawStateFromUnit(std::string_view activeState, std::string_view subState);
// The error code for a D-Bus error name.
uint32_t ErrorFromBusError(std::string_view errorName);

// Unit file texts, with systemd's quoting applied.
std::string UnitFileText(const ServiceDefinition& definition);
std::string DescriptionDropIn(const std::string& description);
std::string FailureActionsDropIn(const FailureActions& actions);

// True when the system bus is reachable and systemd answers on it.
bool SystemdReachable();

}  // namespace systemd_service
