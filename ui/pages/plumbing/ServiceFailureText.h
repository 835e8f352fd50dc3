#pragma once
// A failed service operation in the console's language (service/ServiceFailureText.h says how).
#include <QString>
#include <cstdint>

#include "service/ServiceFailure.h"

// Empty for a success.
QString ServiceFailureText(const ServiceFailure& failure, uint32_t limitMs);
