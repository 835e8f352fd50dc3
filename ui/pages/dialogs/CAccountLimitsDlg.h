#pragma once
// The modal dialog that sets what one account may use: enabled, the last day it works, traffic
// per month (MB) and bandwidth (KB/s). A limit is set when its box is ticked; an unticked one is
// stored as none.
#include <QDate>
#include <QDialog>

#include "Common/AccountFields.h"
#include "Common/AccountLimits.h"

class QCheckBox;
class QDateEdit;
class QSpinBox;

// The last day an account works, for its stored expiry (the instant it is refused from).
QDate LastDayOf(int64_t expires);

class CAccountLimitsDlg : public QDialog {
public:
    // The units the fields count in (the accounts' common ones).
    static constexpr uint64_t kMegabyte = kQuotaUnitBytes;
    static constexpr uint64_t kKilobyte = kBandwidthUnitBytes;

    CAccountLimitsDlg(QWidget* parent, const QString& userName, const AccountLimits& limits);

    // What the fields say now.
    AccountLimits Limits() const;

    QCheckBox* EnabledBox() const { return enabled_; }
    QCheckBox* ExpiresBox() const { return expiresOn_; }
    QDateEdit* ExpiresEdit() const { return expires_; }
    QCheckBox* MonthlyBox() const { return monthlyOn_; }
    QSpinBox* MonthlyEdit() const { return monthly_; }
    QCheckBox* BandwidthBox() const { return bandwidthOn_; }
    QSpinBox* BandwidthEdit() const { return bandwidth_; }

private:
    QCheckBox* enabled_;
    QCheckBox* expiresOn_;
    QDateEdit* expires_;
    QCheckBox* monthlyOn_;
    QSpinBox* monthly_;
    QCheckBox* bandwidthOn_;
    QSpinBox* bandwidth_;
};
