#pragma once
// The alarm page and the access-history page: one record page each, over their own columns.
#include "ui/pages/tabs/CRecordPage.h"

class CAlarmDlg : public CRecordPage {
public:
    static constexpr int kAutoRefreshCommand = 32787;
    explicit CAlarmDlg(QWidget* parent = nullptr, const DatabaseOptions& options = {})
        : CRecordPage(new RecordPageModel<AlarmColumns>(options), kAutoRefreshCommand,
                      QStringLiteral("alarms"), parent) {
        setObjectName(QStringLiteral("page107"));
    }
};

class CLogDlg : public CRecordPage {
public:
    static constexpr int kAutoRefreshCommand = 32788;
    explicit CLogDlg(QWidget* parent = nullptr, const DatabaseOptions& options = {})
        : CRecordPage(new RecordPageModel<HistoryColumns>(options), kAutoRefreshCommand,
                      QStringLiteral("history"), parent) {
        setObjectName(QStringLiteral("page108"));
    }
};
