#pragma once
// A failed service operation in the administrator's language; the words of the service manager
// or of the server are shown as they came.
#include <QString>
#include <cstdint>

#include "service/ServiceFailure.h"

// Empty for a success.
QString ServiceFailureText(const ServiceFailure& failure, uint32_t limitMs);
