#include "service/ProxyCtrl.h"

#include <utility>

#include "Common/Paths.h"
#include "service/ServiceManagerFactory.h"
#include "service/ServiceNames.h"

ProxyCtrl::ProxyCtrl() : ProxyCtrl(DefaultServiceManager()) {}

ProxyCtrl::ProxyCtrl(std::shared_ptr<ServiceManager> manager)
    : ProxyCtrl(std::move(manager), ProxyCommandLine(GetModuleDirectory())) {}

ProxyCtrl::ProxyCtrl(std::shared_ptr<ServiceManager> manager, std::string commandLine)
    : BaseCtrl(std::move(manager), kProxyServiceName, kProxyDisplayName, kProxyDescription,
               std::move(commandLine)) {}

ProxyCtrl::~ProxyCtrl() = default;

bool ProxyCtrl::Install() {
    return BaseCtrl::Install();
}

bool ProxyCtrl::Uninstall() {
    return BaseCtrl::Uninstall();
}

bool ProxyCtrl::Toggle(uint32_t limitMs) {
    if (QueryStatus() == kServiceUnknown) return Install();
    return BaseCtrl::Toggle(limitMs);
}
