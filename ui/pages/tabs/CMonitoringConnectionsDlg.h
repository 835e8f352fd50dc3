#pragma once
// The monitoring sub-page of live client connections: a filter box and the count over the
// list of connections the server reports (user, address, protocol, destination, since, bytes
// and rate), refreshed every 2 s while it is shown and never while it is hidden. The selection
// follows its connections across refreshes. Its context menu (Delete: "Disconnect") cuts the
// selected connections, every connection of the row's user or address, or disables the
// user's account and cuts its connections, each after a question naming what will be cut.
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Common/ControlChannel.h"
#include "server_link/Replies.h"
#include "ui/common/RecordListModel.h"
#include "ui/pages/models/ConnectionRows.h"

class QAction;
class QLabel;
class QLineEdit;
class LinkReplies;
class PollWhileShown;
class RecordListView;

// The connection rows, sorted by the last clicked column (a second click on it reverses the
// order) also after the rows are replaced.
class ConnectionListModel : public RecordListModel<ConnectionRow> {
public:
    ConnectionListModel();
    // A header click.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // Replaces the rows and sorts them as the last click asked.
    void Show(std::vector<ConnectionRow> rows);

private:
    int column_ = -1;
    Qt::SortOrder order_ = Qt::AscendingOrder;
};

class CMonitoringConnectionsDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 2000;
    // Context menu commands, as the actions are named ("command<id>").
    enum Command { kDisconnect = 1, kDisconnectUser, kDisconnectAddress, kDisableAccount };

    // nullopt: the server is stopped or its reply was unreadable. Runs on the link worker.
    using Fetch = std::function<std::optional<ConnectionList>()>;

    explicit CMonitoringConnectionsDlg(QWidget* parent);

    // Asks for the rows now (nothing while the previous request still waits).
    void Refresh();
    // Where the rows come from (the control channel's "connections" by default).
    void SetFetch(Fetch fetch);

    void OnDisconnect();
    void OnDisconnectUser();
    void OnDisconnectAddress();
    void OnDisableAccount();

    const ConnectionListModel& Model() const { return model_; }
    RecordListView* List() const { return list_; }
    QLineEdit* FilterBox() const { return filter_; }
    QLabel* CountLabel() const { return count_; }
    QLabel* StatusLabel() const { return status_; }
    QAction* Action(Command command) const;
    const QTimer& RefreshTimer() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Layout();
    void ShowRows(std::optional<ConnectionList> list);
    void ShowFiltered();
    std::vector<ConnectionRow> SelectedRows() const;
    // The row the user and address commands are about: the current row when it is selected,
    // else the first selected one.
    std::optional<ConnectionRow> FocusRow() const;
    void UpdateActions();
    // The focus row's user or address, once the question naming its connections was answered
    // yes; nullopt without a row, for an anonymous row's user, or on no.
    std::optional<std::string> AskAllOf(control::DisconnectBy by, CutKind kind);
    void CutAllOf(control::DisconnectBy by, CutKind kind);
    // Sends "disconnect <by> <value>" for each value, then shows how many were closed and
    // refreshes.
    void Cut(control::DisconnectBy by, std::vector<std::string> values);

    ConnectionListModel model_;
    QLineEdit* filter_;
    QLabel* count_;
    QLabel* status_;
    RecordListView* list_;
    LinkReplies* link_;
    Fetch fetch_;
    ConnectionList all_;  // the last good reply
    PollWhileShown* poll_ = nullptr;
    uint64_t cuts_ = 0;
};
