#pragma once
// The alarm page and the access-history page: one record page each, over their own columns.
#include "ui/pages/tabs/CRecordPage.h"

// One record page over the columns of `Kind`, with its auto-refresh command, the stem of its
// export's file name and its object name.
template <typename Kind>
class CRecordTab : public CRecordPage {
public:
    static constexpr int kAutoRefreshCommand = Kind::kAutoRefreshCommand;
    explicit CRecordTab(QWidget* parent = nullptr, const DatabaseOptions& options = {})
        : CRecordPage(new RecordPageModel<typename Kind::Columns>(options), kAutoRefreshCommand,
                      QString::fromLatin1(Kind::kExportStem), parent) {
        setObjectName(QString::fromLatin1(Kind::kObjectName));
    }
};

struct AlarmTab {
    using Columns = AlarmColumns;
    static constexpr int kAutoRefreshCommand = 32787;
    static constexpr const char* kExportStem = "alarms";
    static constexpr const char* kObjectName = "page107";
};
struct LogTab {
    using Columns = HistoryColumns;
    static constexpr int kAutoRefreshCommand = 32788;
    static constexpr const char* kExportStem = "history";
    static constexpr const char* kObjectName = "page108";
};
using CAlarmDlg = CRecordTab<AlarmTab>;
using CLogDlg = CRecordTab<LogTab>;
