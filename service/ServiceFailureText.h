#pragma once
// A failed service operation in the administrator's language; the words of the service manager
// or of the server are shown as they came.
#include <cstdint>
#include <string>

#include "Common/UiLanguage.h"
#include "service/ServiceFailure.h"

// Empty for a success. `limitMs` is the limit the operation waited for.
std::string ServiceFailureText(const ServiceFailure& failure, uint32_t limitMs,
                               res::UiLanguage language);
