#pragma once
// What the engine control shows for a service state: the button's string id and whether the
// lamp is the running (green) one.
#include "ui/res/Strings.h"

struct EngineLook {
    int stringId;
    bool lampRunning;
};

inline EngineLook EngineLookOf(int serviceState) {
    switch (serviceState) {
        case 0:
            return {res::IDS_ENGINE_NOT_INSTALLED, false};
        case 1:
            return {res::IDS_ENGINE_START, false};
        case 2:
            return {res::IDS_ENGINE_STARTING, true};
        case 3:
            return {res::IDS_ENGINE_STOPPING, false};
        case 4:
            return {res::IDS_ENGINE_STOP, true};
        default:
            return {res::IDS_ENGINE_UNKNOWN, false};
    }
}
