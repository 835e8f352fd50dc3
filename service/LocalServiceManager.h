#pragma once

#include <chrono>
#include <string>

#include "service/ServiceManager.h"

// Service manager for machines without a running systemd: each service is a folder of files
// under a root folder (registration, the server's pid file whose lock shows that it lives,
// and the state word the server writes); starting launches the server detached. The folders
// are this account's own (0700) and checked before every use; files are 0600 and never opened
// through a link. The files
// outlive the console, so a restarted console finds the service as it was. The contract a
// server follows is in docs/local-service-backend.md.
class LocalServiceManager : public ServiceManager {
public:
    LocalServiceManager();  // the default root (local_service::DefaultRoot())
    explicit LocalServiceManager(std::string root);

    // How long an operation waits for another console's control lock (10 s unless a test
    // shortens it); then it fails.
    void SetLockLimit(std::chrono::milliseconds limit);

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
    // The server's reason from its service folder; a "starting" it left behind becomes
    // "stopped".
    std::string ExitReason(Service& service) override;

private:
    std::string root_;
    std::chrono::milliseconds lockLimit_{10000};
};
