#include "service/ServiceManager.h"

#include <cerrno>
#include <utility>

namespace {
// Per thread, so that concurrent callers (dashboard, control channel) see their own codes.
thread_local uint32_t lastError = service_error::kNone;
thread_local std::string lastErrorText;
}  // namespace

std::string ServiceManager::ExitReason(Service&) {
    return {};
}

uint32_t ServiceManager::LastError() const {
    return lastError;
}

bool ServiceManager::RefreshService(Service&, const ServiceDefinition&) {
    return true;
}

const std::string& ServiceManager::LastErrorText() {
    return lastErrorText;
}

void ServiceManager::SetLastError(uint32_t code, std::string text) {
    lastError = code;
    lastErrorText = std::move(text);
}

uint32_t service_error::FromErrno(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? kAccessDenied : kIoFailure;
}
