#include "service/ServiceManagerFactory.h"

#include <mutex>
#include <utility>

namespace {

// Stand-in until the platform backends are wired: every open fails, so the state reads 0.
class UnavailableServiceManager : public ServiceManager {
public:
    std::unique_ptr<Manager> OpenManager() override {
        SetLastError(service_error::kManagerUnavailable);
        return nullptr;
    }
    std::unique_ptr<Service> OpenService(Manager&, const std::string&) override { return Fail(); }
    std::unique_ptr<Service> CreateService(Manager&, const ServiceDefinition&) override {
        return Fail();
    }
    bool ChangeDescription(Service&, const std::string&) override { return false; }
    bool ChangeFailureActions(Service&, const FailureActions&) override { return false; }
    bool StartService(Service&) override { return false; }
    bool ControlStop(Service&) override { return false; }
    bool QueryServiceState(Service&, uint32_t&) override { return false; }
    bool DeleteService(Service&) override { return false; }

private:
    std::unique_ptr<Service> Fail() {
        SetLastError(service_error::kManagerUnavailable);
        return nullptr;
    }
};

std::mutex defaultMutex;
std::shared_ptr<ServiceManager> defaultManager;

}  // namespace

ServiceBackend ChooseServiceBackend() { return ServiceBackend::kLocal; }

std::shared_ptr<ServiceManager> MakeServiceManager(ServiceBackend) {
    return std::make_shared<UnavailableServiceManager>();
}

std::shared_ptr<ServiceManager> DefaultServiceManager() {
    std::lock_guard<std::mutex> lock(defaultMutex);
    if (!defaultManager) defaultManager = MakeServiceManager(ChooseServiceBackend());
    return defaultManager;
}

void SetDefaultServiceManager(std::shared_ptr<ServiceManager> manager) {
    std::lock_guard<std::mutex> lock(defaultMutex);
    defaultManager = std::move(manager);
}
