#include "ui/pages/plumbing/ServiceFailureText.h"

#include "service/ServiceFailureText.h"
#include "ui/res/Strings.h"

QString ServiceFailureText(const ServiceFailure& failure, uint32_t limitMs) {
    return QString::fromStdString(ServiceFailureText(failure, limitMs, res::CurrentUiLanguage()));
}
