#include "service/ServiceManager.h"

#include <cerrno>

namespace {
// Per thread, so that concurrent callers (dashboard, control channel) see their own codes.
thread_local uint32_t lastError = service_error::kNone;
}  // namespace

uint32_t ServiceManager::LastError() const {
    return lastError;
}

bool ServiceManager::RefreshService(Service&, const ServiceDefinition&) {
    return true;
}

void ServiceManager::SetLastError(uint32_t code) {
    lastError = code;
}

uint32_t service_error::FromErrno(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? kAccessDenied : kIoFailure;
}
