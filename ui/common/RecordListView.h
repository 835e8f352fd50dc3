#pragma once
// The report-style list every record page uses: grid lines, full-row single selection,
// columns reordered by dragging the header, and a header click that sorts the model
// ascending by the clicked column (clicking again sorts ascending again).
#include <QTableView>

class RecordListModelBase;

class RecordListView : public QTableView {
    Q_OBJECT
public:
    explicit RecordListView(QWidget* parent = nullptr);

    // Shows the model and applies its column widths; the view does not own the model.
    void SetRecordModel(RecordListModelBase* model);

private:
    RecordListModelBase* model_ = nullptr;
};
