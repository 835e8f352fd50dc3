#pragma once
// The page both record lists share: a toolbar (auto-refresh check button, filter box,
// "Export…") over the list. The list is filled once at creation and again every 10 s while
// auto-refresh is on; the filter applies to the rows in memory and stays across fills.
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "ui/pages/RecordPageModel.h"

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

    // Asks where to export to; an empty text cancels.
    using ExportPathChooser = std::function<QString(QWidget* parent)>;

    // Takes ownership of `model`; `commandId` names the auto-refresh button.
    CRecordPage(RecordPageModelBase* model, int commandId, QWidget* parent);

    void Fill() { model_->Fill(); }
    // The auto-refresh command: flips the switch, starts or stops the timer.
    void OnAutoRefresh();
    // "Export…": asks for a file and writes the shown rows to it.
    void OnExport();
    // Writes the shown rows to `path`; a failure is shown in a message box.
    bool ExportTo(const QString& path);
    // Applies the filter box's text at once.
    void ApplyFilter();

    void SetExportPathChooser(ExportPathChooser chooser) { chooseExportPath_ = std::move(chooser); }

    RecordPageModelBase* Model() const { return model_; }
    RecordListView* List() const { return list_; }
    QToolBar* ToolBar() const { return toolBar_; }
    QAction* AutoRefreshAction() const { return autoRefreshAction_; }
    QAction* ExportAction() const { return exportAction_; }
    QLineEdit* FilterBox() const { return filterBox_; }
    bool AutoRefresh() const { return autoRefresh_ != 0; }
    int TimerId() const { return timerId_; }
    QTimer& RefreshTimer() { return timer_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildToolBar(int commandId);

    RecordPageModelBase* model_;
    RecordListView* list_;
    QToolBar* toolBar_ = nullptr;
    QAction* autoRefreshAction_ = nullptr;
    QAction* exportAction_ = nullptr;
    QLineEdit* filterBox_ = nullptr;
    int autoRefresh_ = 0;
    int timerId_ = 0;
    QTimer timer_;
    QTimer filterDelay_;
    ExportPathChooser chooseExportPath_;
};
