#pragma once
// The report-style list every record page uses: grid lines, full-row selection, columns
// reordered by dragging the header, and a header click that sorts the model ascending by the
// clicked column (clicking again sorts ascending again). Ctrl+C and the context menu's "Copy"
// put the selected rows on the clipboard as tab-separated text.
#include <QTableView>

class QAction;
class RecordListModelBase;

class RecordListView : public QTableView {
    Q_OBJECT
public:
    explicit RecordListView(QWidget* parent = nullptr);

    // Shows the model and applies its column widths; the view does not own the model.
    void SetRecordModel(RecordListModelBase* model);

    // The selected rows top to bottom, one line each, the cells in the columns' shown order
    // separated by tabs (tabs and line breaks inside a cell become spaces).
    QString SelectedRowsText() const;
    void CopySelection() const;
    QAction* CopyAction() const { return copyAction_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    RecordListModelBase* model_ = nullptr;
    QAction* copyAction_;
};
