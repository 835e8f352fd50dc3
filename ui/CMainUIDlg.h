#pragma once
// The console's only top-level window: the dashboard across the top third, the page tabs
// below it (monitoring, settings, alarms, logs), the menu, the about box and the language
// switch. Run modally by start-up.
#include <QDialog>
#include <array>
#include <functional>
#include <string>

class QAction;
class QMenu;
class QMenuBar;
class CTabControl;

// What the language switch needs from outside the window; tests replace it.
struct LanguageSwitch {
    std::function<std::string()> current;          // the stored language code
    std::function<void(const std::string&)> save;  // store a new code
    std::function<void()> startRestartedConsole;   // this executable with "--restart"
};
// The real one: SystemConf's language field and saveLanguage, and a detached new process.
LanguageSwitch DefaultLanguageSwitch();

class CMainUIDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 800;
    static constexpr int kMinimumHeight = 800;
    static constexpr int kPageCount = 4;  // monitoring, setting, alarm, logs

    explicit CMainUIDlg(QWidget* parent = nullptr,
                        LanguageSwitch languageSwitch = DefaultLanguageSwitch());

    // Menu commands.
    void OnExit();
    void OnAbout();
    void OnLanguage(const std::string& code);  // "zh" or "en"

    // Where the window opens on a screen: two thirds of it wide (plus the margin the centring
    // arithmetic adds), at least the minimum size, centred; 1280 x 900 on 1920 x 1080.
    static QRect InitialGeometry(const QRect& screen);

    // Shows page `index` with the focus and hides the others.
    void SelectPage(int index);

    QWidget* Dashboard() const { return dashboard_; }
    CTabControl* Tabs() const { return tabs_; }
    QWidget* Page(int index) const { return pages_.at(index); }
    QMenuBar* MenuBar() const { return menuBar_; }
    QAction* ExitAction() const { return exitAction_; }
    QAction* AboutAction() const { return aboutAction_; }
    QAction* ChineseAction() const { return chineseAction_; }
    QAction* EnglishAction() const { return englishAction_; }
    bool RestartPending() const { return restart_ != 0; }

    // The enter and escape keys do nothing; the window closes only through its close button,
    // Exit, or a language change.
    void accept() override {}
    void reject() override {}
    // Closes the window and the link worker with it.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenu();
    void PrepareMenu();  // item pictures and the language check mark, each time a popup opens
    void PlaceAndSize();
    void BuildPages();
    void Layout();

    LanguageSwitch languageSwitch_;
    QWidget* client_;  // the client area below the menu bar
    QWidget* dashboard_ = nullptr;
    CTabControl* tabs_ = nullptr;
    std::array<QWidget*, kPageCount> pages_{};
    QMenuBar* menuBar_ = nullptr;
    QAction* exitAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QAction* chineseAction_ = nullptr;
    QAction* englishAction_ = nullptr;
    int restart_ = 0;
};
