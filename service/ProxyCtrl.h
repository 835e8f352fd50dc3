#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "service/BaseCtrl.h"

// The proxy server's service: "TorvoProxyServer", run from the console's own directory
// with "-s".
class ProxyCtrl : public BaseCtrl {
public:
    // Uses the process's default service manager (DefaultServiceManager()).
    ProxyCtrl();
    explicit ProxyCtrl(std::shared_ptr<ServiceManager> manager);
    // With a given command line instead of the one built from the console's path.
    ProxyCtrl(std::shared_ptr<ServiceManager> manager, std::string commandLine);
    ~ProxyCtrl() override;

    bool Install() override;
    bool Uninstall() override;
    // A missing service is installed (not started); otherwise as BaseCtrl::Toggle.
    bool Toggle(uint32_t limitMs) override;
};
