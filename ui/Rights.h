#pragma once
// Finding out which rights the console has, and gaining them through the platform's
// elevation prompt (pkexec).
#include <QProcessEnvironment>
#include <QStringList>

#include "ui/StartupRules.h"

RightsFacts GatherRightsFacts();

// What pkexec runs to start `exe` elevated: pkexec clears the environment, so the window
// system's variables and the console's own TORVO_* settings (where the database lock and the
// service live) are handed on through env.
QStringList ElevationArguments(const QString& exe, const QProcessEnvironment& environment);

// Starts an elevated copy of this executable without arguments; false when it could not be
// started at all (whether the user accepts the prompt is not looked at).
bool RelaunchElevated();
