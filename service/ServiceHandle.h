#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "service/ServiceManager.h"

// Holds the manager and service handles of one operation and closes them (service first,
// then manager) when it goes out of scope. A call on a handle that could not be opened
// fails with service_error::kInvalidHandle, as the platform would.
class ServiceHandle {
public:
    ServiceHandle(ServiceManager& manager, std::string serviceName);
    ~ServiceHandle();
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;

    // Opens the manager and then the service. Returns 0 when both opened, else the error
    // code left by the failed open (which may itself be 0: a failure without a code).
    uint32_t Open();
    // Opens the manager again when the first Open could not; false when that fails.
    bool ReopenManager();

    bool HasService() const { return service_ != nullptr; }

    bool Create(const ServiceDefinition& definition);
    bool Refresh(const ServiceDefinition& definition);
    bool ChangeDescription(const std::string& description);
    bool ChangeFailureActions(const FailureActions& actions);
    bool Start();
    bool ControlStop();
    bool QueryState(uint32_t& state);
    bool Delete();
    std::string ExitReason();
    uint32_t LastError() const { return backend_.LastError(); }

private:
    bool NoService();

    ServiceManager& backend_;
    std::string serviceName_;
    std::unique_ptr<ServiceManager::Manager> manager_;
    std::unique_ptr<ServiceManager::Service> service_;
};
