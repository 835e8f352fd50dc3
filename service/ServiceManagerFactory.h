#pragma once

#include <memory>
#include <string>

#include "service/ServiceManager.h"

enum class ServiceBackend { kSystemd, kLocal };

// Environment variable that forces a backend: "systemd" or "local".
inline constexpr const char* kServiceBackendVariable = "TORVO_SERVICE_BACKEND";

// systemd when it runs as PID 1 and its bus answers, else local; the variable above wins.
ServiceBackend ChooseServiceBackend();
std::shared_ptr<ServiceManager> MakeServiceManager(ServiceBackend backend);

// The manager every ProxyCtrl() of this process uses; chosen on first use.
std::shared_ptr<ServiceManager> DefaultServiceManager();
// Replaces the process default (tests put a fake here); nullptr restores the automatic choice.
void SetDefaultServiceManager(std::shared_ptr<ServiceManager> manager);
