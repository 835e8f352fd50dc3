#pragma once
// Finding out which rights the console has, and gaining them through the platform's
// elevation prompt (pkexec).
#include "ui/StartupRules.h"

RightsFacts GatherRightsFacts();

// Starts an elevated copy of this executable without arguments; false when it could not be
// started at all (whether the user accepts the prompt is not looked at).
bool RelaunchElevated();
