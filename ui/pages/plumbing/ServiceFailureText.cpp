#include "ui/pages/plumbing/ServiceFailureText.h"

#include "ui/res/Strings.h"

QString ServiceFailureText(const ServiceFailure& failure, uint32_t limitMs) {
    const QString detail = QString::fromStdString(failure.detail);
    const QString seconds = QString::number(limitMs / 1000.0, 'g', 3);
    switch (failure.kind) {
        case ServiceFailure::Kind::kNone:
            break;
        case ServiceFailure::Kind::kRefused:
            return res::Str(res::IDS_FAIL_REFUSED).arg(detail);
        case ServiceFailure::Kind::kExited:
            return detail.isEmpty() ? res::Str(res::IDS_FAIL_EXITED_SILENT)
                                    : res::Str(res::IDS_FAIL_EXITED).arg(detail);
        case ServiceFailure::Kind::kStartTimedOut:
            return res::Str(res::IDS_FAIL_START_TIMEOUT).arg(seconds);
        case ServiceFailure::Kind::kStopTimedOut:
            return res::Str(res::IDS_FAIL_STOP_TIMEOUT).arg(seconds);
    }
    return {};
}
