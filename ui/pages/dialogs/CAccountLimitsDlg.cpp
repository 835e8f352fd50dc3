#include "ui/pages/dialogs/CAccountLimitsDlg.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>

#include "ui/pages/dialogs/OkCancel.h"
#include "ui/res/Strings.h"

namespace {

// A spin box counting `unit`s, showing `bytes` rounded up (at least one unit).
QSpinBox* Amount(QWidget* parent, const char* name, std::optional<uint64_t> bytes, uint64_t unit,
                 int fallback) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(1, static_cast<int>(kLimitAmountMax));
    const uint64_t units = bytes ? (*bytes + unit - 1) / unit : uint64_t(fallback);
    box->setValue(static_cast<int>(std::clamp<uint64_t>(units, 1, box->maximum())));
    return box;
}

// A tick box that switches its field on and off.
QCheckBox* Switch(QWidget* parent, int textId, QWidget* field, bool on) {
    auto* box = new QCheckBox(res::Str(textId), parent);
    box->setChecked(on);
    field->setEnabled(on);
    QObject::connect(box, &QCheckBox::toggled, field, &QWidget::setEnabled);
    return box;
}

}  // namespace

QDate LastDayOf(int64_t expires) {
    const CalendarDay last = LastDayBeforeExpiry(expires);
    return QDate(last.year, last.month, last.day);
}

CAccountLimitsDlg::CAccountLimitsDlg(QWidget* parent, const QString& userName,
                                     const AccountLimits& limits)
    : QDialog(parent) {
    setObjectName("accountLimits");
    setWindowTitle(res::Str(res::IDS_LIMITS_TITLE).arg(userName));

    enabled_ = new QCheckBox(res::Str(res::IDS_LIMIT_ENABLED), this);
    enabled_->setObjectName("limitEnabled");
    enabled_->setChecked(limits.enabled);

    expires_ = new QDateEdit(this);
    expires_->setObjectName("limitExpires");
    expires_->setCalendarPopup(true);
    expires_->setDisplayFormat("yyyy-MM-dd");
    expires_->setDate(limits.expires ? LastDayOf(*limits.expires)
                                     : QDate::currentDate().addMonths(1));
    expiresOn_ = Switch(this, res::IDS_LIMIT_EXPIRES, expires_, limits.expires.has_value());

    monthly_ = Amount(this, "limitMonthly", limits.monthlyBytes, kMegabyte, 10240);
    monthlyOn_ = Switch(this, res::IDS_LIMIT_MONTHLY, monthly_, limits.monthlyBytes.has_value());
    bandwidth_ = Amount(this, "limitBandwidth", limits.bandwidth, kKilobyte, 1024);
    bandwidthOn_ = Switch(this, res::IDS_LIMIT_BANDWIDTH, bandwidth_, limits.bandwidth.has_value());

    auto* grid = new QGridLayout;
    grid->addWidget(enabled_, 0, 0, 1, 2);
    grid->addWidget(expiresOn_, 1, 0);
    grid->addWidget(expires_, 1, 1);
    grid->addWidget(monthlyOn_, 2, 0);
    grid->addWidget(monthly_, 2, 1);
    grid->addWidget(bandwidthOn_, 3, 0);
    grid->addWidget(bandwidth_, 3, 1);

    auto* hint = new QLabel(res::Str(res::IDS_LIMITS_HINT), this);
    hint->setWordWrap(true);

    const auto [ok, cancel] = MakeOkCancel(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    // Tab goes in reading order: each tick box before the field it enables.
    QWidget* const chain[] = {enabled_,     expiresOn_, expires_, monthlyOn_, monthly_,
                              bandwidthOn_, bandwidth_, ok,       cancel};
    for (std::size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(hint);
    layout->addLayout(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 56);
}

AccountLimits CAccountLimitsDlg::Limits() const {
    AccountLimits limits;
    limits.enabled = enabled_->isChecked();
    // The chosen day is the last one the account works; it is refused from the next.
    if (expiresOn_->isChecked()) {
        const QDate last = expires_->date();
        limits.expires = ExpiryForLastDay({last.year(), last.month(), last.day()});
    }
    if (monthlyOn_->isChecked()) limits.monthlyBytes = uint64_t(monthly_->value()) * kMegabyte;
    if (bandwidthOn_->isChecked()) limits.bandwidth = uint64_t(bandwidth_->value()) * kKilobyte;
    return limits;
}
