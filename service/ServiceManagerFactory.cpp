#include "service/ServiceManagerFactory.h"

#include <mutex>
#include <utility>

#include "service/LocalServiceManager.h"

namespace {

std::mutex defaultMutex;
std::shared_ptr<ServiceManager> defaultManager;

}  // namespace

ServiceBackend ChooseServiceBackend() {
    return ServiceBackend::kLocal;
}

std::shared_ptr<ServiceManager> MakeServiceManager(ServiceBackend) {
    return std::make_shared<LocalServiceManager>();
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
