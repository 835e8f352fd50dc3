#pragma once
// The two private notifications that a background job posts to the window thread.
#include <QEvent>

// Ends the busy dialog (its only way to close).
inline constexpr QEvent::Type kCloseBusyEvent = static_cast<QEvent::Type>(2025);
// Tells the dashboard that a service toggle has finished, so it relabels its button.
inline constexpr QEvent::Type kToggleFinishedEvent = static_cast<QEvent::Type>(2026);
