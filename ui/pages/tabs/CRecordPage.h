#pragma once
// The page both record lists share: a toolbar (auto-refresh check button, "Refresh" (F5),
// filter box, "Export…") over the list, one row selectable at a time. The list is filled once
// at creation, on "Refresh", every 10 s while auto-refresh is on, and when it is shown with rows
// it has not read yet; the filter applies to the rows in memory and stays across fills.
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "ui/pages/models/RecordPageModel.h"

class QAction;
class QLineEdit;
class QToolBar;
class RecordListView;

class CRecordPage : public QWidget {
public:
    static constexpr int kTimerId = 1;
    static constexpr int kRefreshPeriodMs = 10000;
    static constexpr int kToolBarHeight = 30;
    static constexpr int kFilterDelayMs = 200;  // typing pauses this long before filtering

    // Asks where to export to, proposing `proposed`; an empty text cancels.
    using ExportPathChooser = std::function<QString(QWidget* parent, const QString& proposed)>;

    // Takes ownership of `model`; `commandId` names the auto-refresh button; exports are
    // proposed as "<exportName>-YYYYMMDD-HHMM.csv".
    CRecordPage(RecordPageModelBase* model, int commandId, const QString& exportName,
                QWidget* parent);

    void Fill() { model_->Fill(); }
    // The auto-refresh command: flips the switch, starts or stops the timer.
    void OnAutoRefresh();
    // "Export…": asks for a file (".csv" added to a name without a suffix), writes the shown
    // rows to it and says where.
    void OnExport();
    // The file an export proposes: a dated name in ~/Documents, or in the home folder when
    // there is no such folder.
    QString ProposedExportPath() const;
    // Writes the shown rows to `path`; a failure is shown in a message box.
    bool ExportTo(const QString& path);
    // Applies the filter box's text at once.
    void ApplyFilter();

    void SetExportPathChooser(ExportPathChooser chooser) { chooseExportPath_ = std::move(chooser); }

    RecordPageModelBase* Model() const { return model_; }
    RecordListView* List() const { return list_; }
    QToolBar* ToolBar() const { return toolBar_; }
    QAction* AutoRefreshAction() const { return autoRefreshAction_; }
    QAction* RefreshAction() const { return refreshAction_; }
    QAction* ExportAction() const { return exportAction_; }
    QLineEdit* FilterBox() const { return filterBox_; }
    bool AutoRefresh() const { return autoRefresh_ != 0; }
    int TimerId() const { return timerId_; }
    QTimer& RefreshTimer() { return timer_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    // A page shown again after the server added rows refills, keeping filter and order.
    void showEvent(QShowEvent* event) override;

private:
    void BuildToolBar(int commandId);

    RecordPageModelBase* model_;
    RecordListView* list_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QAction* autoRefreshAction_ = nullptr;
    QAction* refreshAction_ = nullptr;
    QAction* exportAction_ = nullptr;
    QLineEdit* filterBox_ = nullptr;
    int autoRefresh_ = 0;
    int timerId_ = 0;
    QTimer timer_;
    QTimer filterDelay_;
    QString exportName_;
    ExportPathChooser chooseExportPath_;
};
