#pragma once

#include <string>

#include "service/ServiceManager.h"

// Service manager for machines without a running systemd: each service is a folder of files
// under a root folder (registration, the server's pid file whose lock shows that it lives,
// and the state word the server writes); starting launches the server detached. The files
// outlive the console, so a restarted console finds the service as it was. The contract a
// server follows is in docs/local-service-backend.md.
class LocalServiceManager : public ServiceManager {
public:
    LocalServiceManager();  // the default root (local_service::DefaultRoot())
    explicit LocalServiceManager(std::string root);

    const std::string& Root() const { return root_; }

    std::unique_ptr<Manager> OpenManager() override;
    std::unique_ptr<Service> OpenService(Manager& manager, const std::string& name) override;
    std::unique_ptr<Service> CreateService(Manager& manager,
                                           const ServiceDefinition& definition) override;
    bool ChangeDescription(Service& service, const std::string& description) override;
    bool ChangeFailureActions(Service& service, const FailureActions& actions) override;
    bool StartService(Service& service) override;
    bool ControlStop(Service& service) override;
    bool QueryServiceState(Service& service, uint32_t& state) override;
    bool DeleteService(Service& service) override;

private:
    std::string root_;
};
