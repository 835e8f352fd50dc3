#include "service/ServiceFailureText.h"

#include <cstdio>

#include "Common/Texts.h"

std::string ServiceFailureText(const ServiceFailure& failure, uint32_t limitMs,
                               res::UiLanguage language) {
    const auto text = [language](int id) { return res::TextOf(id, language); };
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3g", limitMs / 1000.0);
    switch (failure.kind) {
        case ServiceFailure::Kind::kNone:
            break;
        case ServiceFailure::Kind::kRefused:
            return res::FormatText(text(res::IDS_FAIL_REFUSED), {failure.detail});
        case ServiceFailure::Kind::kExited:
            return failure.detail.empty()
                       ? text(res::IDS_FAIL_EXITED_SILENT)
                       : res::FormatText(text(res::IDS_FAIL_EXITED), {failure.detail});
        case ServiceFailure::Kind::kStartTimedOut:
            return res::FormatText(text(res::IDS_FAIL_START_TIMEOUT), {seconds});
        case ServiceFailure::Kind::kStopTimedOut:
            return res::FormatText(text(res::IDS_FAIL_STOP_TIMEOUT), {seconds});
    }
    return {};
}
