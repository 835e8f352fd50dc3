#pragma once
// The main window's page tabs: a row of tab headers with the pages below it. The pages are
// plain children placed by the owner (see PageArea), so hidden pages keep their geometry too.
#include <QWidget>

class QTabBar;

class CTabControl : public QWidget {
    Q_OBJECT
public:
    explicit CTabControl(QWidget* parent);

    QTabBar* Bar() const { return bar_; }
    // The rectangle for the pages, in this widget's coordinates: from the top of the client
    // area plus the height of tab 0's header plus 2, to the bottom, over the full width.
    QRect PageArea() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QTabBar* bar_;
};
