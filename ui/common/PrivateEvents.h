#pragma once
// The private notifications that background work posts to the window thread.
#include <QEvent>
#include <QString>
#include <optional>

// Ends the busy dialog (its only way to close).
inline constexpr QEvent::Type kCloseBusyEvent = static_cast<QEvent::Type>(2025);
// Tells the dashboard that a service toggle has finished, so it relabels its button.
inline constexpr QEvent::Type kToggleFinishedEvent = static_cast<QEvent::Type>(2026);
// kToggleFinishedEvent with why the toggle failed, when it did: the page shows the reason once
// the busy dialog has closed (2025 is posted first), so the box never stands behind it.
class ToggleFinishedEvent : public QEvent {
public:
    explicit ToggleFinishedEvent(std::optional<QString> failure)
        : QEvent(kToggleFinishedEvent), failure(std::move(failure)) {}
    const std::optional<QString> failure;  // the reason; empty when none is known
};
// Carries a control-channel reply from the link worker to the page that asked for it.
inline constexpr QEvent::Type kLinkReplyEvent = static_cast<QEvent::Type>(2027);
// Tells a page's background run that its work is done and its result waits.
inline constexpr QEvent::Type kBackgroundDoneEvent = static_cast<QEvent::Type>(2028);
