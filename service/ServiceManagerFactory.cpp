#include "service/ServiceManagerFactory.h"

#include <glog/logging.h>
#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>

#include "service/LocalServiceManager.h"
#include "service/SystemdServiceManager.h"

namespace {

std::mutex defaultMutex;
std::shared_ptr<ServiceManager> defaultManager;

bool Pid1IsSystemd() {
    if (sd_booted() > 0) return true;
    std::ifstream comm("/proc/1/comm");
    std::string name;
    std::getline(comm, name);
    return name == "systemd";
}

}  // namespace

ServiceBackend ChooseServiceBackend() {
    if (const char* forced = std::getenv(kServiceBackendVariable); forced && *forced) {
        const std::string value = forced;
        if (value == "systemd") return ServiceBackend::kSystemd;
        if (value == "local") return ServiceBackend::kLocal;
        LOG(WARNING) << kServiceBackendVariable << "=" << value
                     << " is neither \"systemd\" nor \"local\"; choosing by the system";
    }
    return Pid1IsSystemd() && systemd_service::SystemdReachable() ? ServiceBackend::kSystemd
                                                                  : ServiceBackend::kLocal;
}

std::shared_ptr<ServiceManager> MakeServiceManager(ServiceBackend backend) {
    if (backend == ServiceBackend::kSystemd) return std::make_shared<SystemdServiceManager>();
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
