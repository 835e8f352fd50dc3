#pragma once
// Finding out which rights the console has, and gaining them through the platform's
// elevation prompt (pkexec).
#include <QProcessEnvironment>
#include <QStringList>

#include "service/ServiceRights.h"

// The facts of this console: its own install folder, pkexec as the elevation prompt.
RightsFacts GatherRightsFacts();

// The polkit action of the installed console (the Debian package ships it): pkexec names it in
// its prompt when it runs the program its exec.path annotation gives.
inline constexpr char kConsolePolicyFile[] =
    "/usr/share/polkit-1/actions/org.torvoproxy.console.policy";

// Whether the polkit policy text has an action whose exec.path is `exe`.
bool PolicyNamesProgram(const QByteArray& policy, const QString& exe);

// What pkexec runs to start `exe` elevated. pkexec clears the environment; the action that
// names `exe` lets the display (DISPLAY, XAUTHORITY) through, so with such an action and
// nothing else to hand on, pkexec runs `exe` itself and asks with the action's message. Else
// the window system's variables and the console's own TORVO_* settings (where the database
// lock and the service live) are handed on through env, under pkexec's generic prompt.
QStringList ElevationArguments(const QString& exe, const QProcessEnvironment& environment,
                               bool actionNamesExe);

// Starts an elevated copy of this executable without arguments; false when it could not be
// started at all (whether the user accepts the prompt is not looked at).
bool RelaunchElevated();
