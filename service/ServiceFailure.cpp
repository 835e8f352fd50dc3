#include "service/ServiceFailure.h"

#include <utility>

#include "service/ServiceManager.h"

std::string ServiceErrorText(uint32_t code) {
    static constexpr std::pair<uint32_t, const char*> kTexts[] = {
        {service_error::kAccessDenied, "access denied"},
        {service_error::kInvalidHandle, "the service could not be opened"},
        {service_error::kAlreadyRunning, "the service is already running"},
        {service_error::kManagerUnavailable, "the service manager cannot be reached"},
        {service_error::kServiceDoesNotExist, "the service is not installed"},
        {service_error::kServiceNotActive, "the service is not running"},
        {service_error::kStartFailed, "the program could not be started"},
        {service_error::kServiceExists, "the service already exists"},
        {service_error::kIoFailure, "a file or bus operation failed"},
    };
    const char* text = "error";
    for (const auto& [known, words] : kTexts) {
        if (known == code) text = words;
    }
    return std::string(text) + " (" + std::to_string(code) + ")";
}
