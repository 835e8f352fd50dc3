#include "service/ServiceHandle.h"

#include <utility>

ServiceHandle::ServiceHandle(ServiceManager& manager, std::string serviceName)
    : backend_(manager), serviceName_(std::move(serviceName)) {}

ServiceHandle::~ServiceHandle() {
    service_.reset();
    manager_.reset();
}

uint32_t ServiceHandle::Open() {
    manager_ = backend_.OpenManager();
    if (manager_) service_ = backend_.OpenService(*manager_, serviceName_);
    if (manager_ && service_) return service_error::kNone;
    return backend_.LastError();
}

bool ServiceHandle::ReopenManager() {
    if (!manager_) manager_ = backend_.OpenManager();
    return manager_ != nullptr;
}

bool ServiceHandle::NoService() {
    ServiceManager::SetLastError(service_error::kInvalidHandle);
    return false;
}

bool ServiceHandle::Create(const ServiceDefinition& definition) {
    if (!manager_) return NoService();
    service_ = backend_.CreateService(*manager_, definition);
    return service_ != nullptr;
}

bool ServiceHandle::Refresh(const ServiceDefinition& definition) {
    return service_ ? backend_.RefreshService(*service_, definition) : NoService();
}

bool ServiceHandle::ChangeDescription(const std::string& description) {
    return service_ ? backend_.ChangeDescription(*service_, description) : NoService();
}

bool ServiceHandle::ChangeFailureActions(const FailureActions& actions) {
    return service_ ? backend_.ChangeFailureActions(*service_, actions) : NoService();
}

bool ServiceHandle::Start() {
    return service_ ? backend_.StartService(*service_) : NoService();
}

bool ServiceHandle::ControlStop() {
    return service_ ? backend_.ControlStop(*service_) : NoService();
}

bool ServiceHandle::QueryState(uint32_t& state) {
    return service_ ? backend_.QueryServiceState(*service_, state) : NoService();
}

bool ServiceHandle::Delete() {
    return service_ ? backend_.DeleteService(*service_) : NoService();
}

std::string ServiceHandle::ExitReason() {
    return service_ ? backend_.ExitReason(*service_) : std::string();
}
