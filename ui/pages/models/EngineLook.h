#pragma once
// What the engine control shows for a service state: the button's string id and whether the
// lamp is the running (green) one.
#include "service/ServiceState.h"
#include "ui/res/Strings.h"

struct EngineLook {
    int stringId;
    bool lampRunning;
};

inline EngineLook EngineLookOf(ServiceState serviceState) {
    switch (serviceState) {
        case kServiceUnknown:
            return {res::IDS_ENGINE_NOT_INSTALLED, false};
        case kServiceStopped:
            return {res::IDS_ENGINE_START, false};
        case kServiceStartPending:
            return {res::IDS_ENGINE_STARTING, true};
        case kServiceStopPending:
            return {res::IDS_ENGINE_STOPPING, false};
        case kServiceRunning:
            return {res::IDS_ENGINE_STOP, true};
        default:
            return {res::IDS_ENGINE_UNKNOWN, false};
    }
}
