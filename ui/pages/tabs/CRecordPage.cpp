#include "ui/pages/tabs/CRecordPage.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QResizeEvent>
#include <QStandardPaths>
#include <QToolBar>

#include "Common/ExportFile.h"
#include "ui/common/Messages.h"
#include "ui/common/RecordListView.h"
#include "ui/res/Artwork.h"

namespace {

QString AskExportPath(QWidget* parent, const QString& proposed) {
    return QFileDialog::getSaveFileName(parent, res::Str(res::Ctl::RecordExport), proposed,
                                        res::Str(res::Ctl::CsvFiles));
}

}  // namespace

CRecordPage::CRecordPage(RecordPageModelBase* model, int commandId, const QString& exportName,
                         QWidget* parent)
    : QWidget(parent), model_(model), exportName_(exportName), chooseExportPath_(AskExportPath) {
    model_->setParent(this);
    // The toolbar first: Tab follows the order of creation, and its filter box is above the list.
    BuildToolBar(commandId);
    list_ = new RecordListView(this);
    list_->setObjectName(QStringLiteral("list1005"));
    list_->SetRecordModel(model_);
    setFocusProxy(list_);

    timer_.setInterval(kRefreshPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &CRecordPage::Fill);
    filterDelay_.setSingleShot(true);
    filterDelay_.setInterval(kFilterDelayMs);
    connect(&filterDelay_, &QTimer::timeout, this, &CRecordPage::ApplyFilter);
    Fill();
}

void CRecordPage::BuildToolBar(int commandId) {
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName(QStringLiteral("toolbar"));
    toolBar_->setIconSize(QSize(16, 15));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);

    autoRefreshAction_ =
        toolBar_->addAction(res::AutoRefreshIcon(), res::Str(res::Ctl::AutoRefresh));
    autoRefreshAction_->setObjectName(QStringLiteral("command%1").arg(commandId));
    autoRefreshAction_->setCheckable(true);
    // The button follows the switch, not its own toggling.
    connect(autoRefreshAction_, &QAction::triggered, this, [this] { OnAutoRefresh(); });
    // Apart from the toggle beside it, so that a click on one is not taken for the other.
    toolBar_->addSeparator();
    refreshAction_ = toolBar_->addAction(res::Str(res::IDS_REFRESH));
    refreshAction_->setObjectName(QStringLiteral("refresh"));
    refreshAction_->setToolTip(res::Str(res::IDS_REFRESH) + QStringLiteral(" (F5)"));
    refreshAction_->setShortcut(QKeySequence(Qt::Key_F5));
    // F5 refills the page it is pressed in (the other record page is hidden meanwhile).
    refreshAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(refreshAction_);
    toolBar_->widgetForAction(refreshAction_)->setObjectName(QStringLiteral("refreshButton"));
    connect(refreshAction_, &QAction::triggered, this, &CRecordPage::Fill);
    toolBar_->addSeparator();

    filterBox_ = new QLineEdit(toolBar_);
    filterBox_->setObjectName(QStringLiteral("filter"));
    filterBox_->setPlaceholderText(res::Str(res::Ctl::RecordFilter));
    filterBox_->setClearButtonEnabled(true);
    filterBox_->setFixedWidth(220);
    toolBar_->addWidget(filterBox_);
    connect(filterBox_, &QLineEdit::textEdited, this, [this] { filterDelay_.start(); });
    connect(filterBox_, &QLineEdit::returnPressed, this, &CRecordPage::ApplyFilter);
    // The clear button changes the text without an edit signal.
    connect(filterBox_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty()) ApplyFilter();
    });

    exportAction_ =
        toolBar_->addAction(res::Str(res::Ctl::RecordExport), this, &CRecordPage::OnExport);
    exportAction_->setObjectName(QStringLiteral("export"));
}

void CRecordPage::OnAutoRefresh() {
    autoRefresh_ = !autoRefresh_;
    if (autoRefresh_) {
        timer_.start();  // a new period from now
        timerId_ = kTimerId;
    } else {
        timer_.stop();
        timerId_ = 0;
    }
    autoRefreshAction_->setChecked(autoRefresh_ != 0);
}

void CRecordPage::ApplyFilter() {
    filterDelay_.stop();
    model_->SetFilter(filterBox_->text());
}

QString CRecordPage::ProposedExportPath() const {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(folder).isDir()) folder = QDir::homePath();
    const QString name =
        QStringLiteral("%1-%2.csv")
            .arg(exportName_,
                 QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmm")));
    return QDir(folder).filePath(name);
}

void CRecordPage::OnExport() {
    QString path = chooseExportPath_(this, ProposedExportPath());
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
    if (ExportTo(path)) {
        ShowMessage(this, res::Str(res::IDS_EXPORTED_TO).arg(QDir::toNativeSeparators(path)),
                    res::Str(res::IDS_TIP_CAPTION), MessageIcon::Information);
    }
}

bool CRecordPage::ExportTo(const QString& path) {
    ExportFile file;
    const bool written =
        file.Open(path.toStdString()) &&
        model_->WriteCsv([&file](std::string_view piece) { return file.Write(piece); }) &&
        file.Close();
    if (!written) {
        ShowMessage(this,
                    res::Str(res::Ctl::ExportFailed).arg(QString::fromStdString(file.Error())),
                    res::Str(res::IDS_TIP_CAPTION), MessageIcon::Warning);
    }
    return written;
}

void CRecordPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (model_->GrewSinceFill()) model_->FillKeepingOrder();
}

void CRecordPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int w = width(), h = height();
    toolBar_->setGeometry(0, 0, w, kToolBarHeight);
    list_->setGeometry(0, kToolBarHeight, w, std::max(0, h - kToolBarHeight));
}
