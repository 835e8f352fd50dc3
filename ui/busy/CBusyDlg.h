#pragma once
// The small borderless box shown modally while a background job runs. It plays busy.gif from
// the executable's directory and closes only when kCloseBusyEvent (2025) is posted to it:
// Enter, Escape and the window manager's close do nothing.
#include <QDialog>

class CPictureEx;

class CBusyDlg : public QDialog {
    Q_OBJECT

public:
    // The box measures 77 x 77 dialog units.
    static constexpr int kSizeDlu = 77;

    explicit CBusyDlg(QWidget* parent = nullptr);
    ~CBusyDlg() override;

    // The animated picture (control 1034).
    CPictureEx* Picture() const { return picture_; }

    // Enter and Escape: nothing.
    void accept() override;
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void CloseForGood();

    CPictureEx* picture_;
    // A close event that came while the box was hidden; honoured when it shows.
    bool closePending_ = false;
};
