// The main window and the string table: layout and texts at every size in both languages, tabs,
// menu, keys, and the language switch through its seam.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTableView>
#include <QTest>

#include "Common/SystemConf.h"
#include "tests/support/TestDb.h"
#include "tests/support/ViewChecks.h"
#include "ui/CMainUIDlg.h"
#include "ui/CTabControl.h"
#include "ui/pages/CDashboardDlg.h"
#include "ui/res/Strings.h"

namespace {

using res::UiLanguage;

// Every text of the string table in `lang`: the ids', the controls' and the fixed ones.
QStringList TableTexts(UiLanguage lang) {
    int count = 0;
    const int* ids = res::AllStringIds(&count);
    QStringList texts;
    for (int i = 0; i < count; ++i) texts << res::Str(ids[i], lang);
    for (int i = 0; i < static_cast<int>(res::Ctl::Count_); ++i)
        texts << res::Str(static_cast<res::Ctl>(i), lang);
    for (int i = 0; i < static_cast<int>(res::Fixed::Count_); ++i)
        texts << res::Str(static_cast<res::Fixed>(i));
    return texts;
}

// What the window shows in words: title, menus, tabs, labels, buttons, groups, list headers;
// texts of numbers and times alone are data.
QStringList ShownTexts(const CMainUIDlg& dlg) {
    QStringList shown{dlg.windowTitle()};
    for (QAction* popup : dlg.MenuBar()->actions()) {
        shown << popup->text();
        for (QAction* item : popup->menu()->actions()) shown << item->text();
    }
    for (auto* bar : dlg.findChildren<QTabBar*>())
        for (int i = 0; i < bar->count(); ++i) shown << bar->tabText(i);
    for (auto* w : dlg.findChildren<QLabel*>()) shown << w->text();
    for (auto* w : dlg.findChildren<QAbstractButton*>()) shown << w->text();
    for (auto* w : dlg.findChildren<QGroupBox*>()) shown << w->title();
    for (auto* view : dlg.findChildren<QAbstractItemView*>())
        for (int c = 0; view->model() && c < view->model()->columnCount(); ++c)
            shown << view->model()->headerData(c, Qt::Horizontal).toString();
    const QRegularExpression data(R"(^[\d\s:./-]*$)");
    shown.removeIf([&](const QString& t) { return t.isEmpty() || data.match(t).hasMatch(); });
    return shown;
}

TEST(StringTable, EveryIdHasBothTextsAndTheLanguageSelectsQtsOwnTexts) {
    int ids = 0;
    res::AllStringIds(&ids);
    EXPECT_GT(ids, 60);
    for (UiLanguage lang : {UiLanguage::English, UiLanguage::Chinese})
        EXPECT_FALSE(TableTexts(lang).contains(""));
    // Texts kept as the original shows them, which a tidy-up would "mend".
    EXPECT_EQ(res::Str(114, UiLanguage::English), "Modifyed successfully");
    EXPECT_EQ(res::Str(101, UiLanguage::Chinese), "关于 MainUI(&A)...");
    EXPECT_EQ(res::Str(res::Ctl::AccountUserName, UiLanguage::English), "User name：");
    for (const auto& [lang, tab, cancel] : {std::tuple{UiLanguage::Chinese, "监控", "取消"},
                                            {UiLanguage::English, "Monitoring", "Cancel"}}) {
        res::SetUiLanguage(lang);
        EXPECT_EQ(res::Str(res::IDS_TAB_MONITORING), tab);
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);
    }
}

class MainWindowTest : public ::testing::Test {
protected:
    void TearDown() override { res::SetUiLanguage(res::UiLanguage::English); }
    // The language switch with its outside world recorded.
    LanguageSwitch Seam() {
        return {[this] { return stored_; },
                [this](const std::string& code) { saved_.push_back(stored_ = code); },
                [this] { ++restarts_; }};
    }
    std::string stored_ = "en";
    std::vector<std::string> saved_;
    int restarts_ = 0;
};

// In both languages, at every size (the smallest gives the dashboard 780 x 266) and on every tab,
// each list shows the columns its page declares and every control stays inside its parent;
// every text shown is a table text of the window's language (one with data in it matches its
// table text's "%1").
TEST_F(MainWindowTest, EveryPageKeepsItsColumnsControlsInsideAndTextsOfItsLanguage) {
    const test::ScopedInstall install;  // the settings page reads main.db: the test's own
    for (UiLanguage lang : {UiLanguage::English, UiLanguage::Chinese}) {
        res::SetUiLanguage(lang);
        CMainUIDlg dlg(nullptr, Seam());
        dlg.show();
        EXPECT_EQ(dlg.minimumSize(), QSize(800, 800));
        for (QSize size : {QSize(300, 200), QSize(1280, 900), QSize(1900, 1500)}) {
            dlg.resize(size);
            EXPECT_EQ(dlg.size(), size.expandedTo(QSize(800, 800)));
            for (int tab = 0; tab < CMainUIDlg::kPageCount; ++tab) {
                dlg.Tabs()->Bar()->setCurrentIndex(tab);
                QApplication::processEvents();
                EXPECT_EQ(test::BrokenViewRules(dlg), QStringList()) << size.width() << " " << tab;
            }
            // The dashboard's axis title stays in its chart (drawn upwards from its top edge);
            // the statistics values fit their table without a scroll bar.
            const CDashboardDlg& board = *dlg.findChild<CDashboardDlg*>();
            const chart::ChartRect title = board.RateChart().leftAxis->GetLabel()->GetRect();
            EXPECT_TRUE(title.top >= title.Height() && title.top <= board.ChartArea()->height());
            const QTableView& table = *board.StatisticsTable();
            EXPECT_FALSE(table.horizontalScrollBar()->isVisible()) << size.width();
            EXPECT_GE(table.columnWidth(1),
                      static_cast<const QAbstractItemView&>(table).sizeHintForColumn(1));
            EXPECT_LE(table.columnWidth(0) + table.columnWidth(1), table.viewport()->width());
        }
        QStringList patterns;
        for (const QString& t : TableTexts(lang))
            patterns << QRegularExpression::escape(t).replace(QRegularExpression(R"(\\%\d)"), ".*");
        const QRegularExpression inTable("^(" + patterns.join('|') + ")$");
        const QStringList shown = ShownTexts(dlg);
        EXPECT_GE(shown.size(), 11);  // title, 3 popups, 4 items, 4 tabs at least
        for (const QString& text : shown)
            EXPECT_TRUE(inTable.match(text).hasMatch()) << text.toStdString();
    }
}

// The window opens centred on the screen, 1280 x 900 on a 1920 x 1080 screen, never below its
// minimum size.
TEST_F(MainWindowTest, OpensCentredAtTheSizeTheScreenGives) {
    EXPECT_EQ(CMainUIDlg::InitialGeometry(QRect(0, 0, 1920, 1080)), QRect(320, 90, 1280, 900));
    EXPECT_EQ(CMainUIDlg::InitialGeometry(QRect(1920, 0, 2560, 1440)),
              QRect(2347, 120, 1706, 1200));
    EXPECT_EQ(CMainUIDlg::InitialGeometry(QRect(0, 0, 1000, 700)), QRect(100, -50, 800, 800));
    CMainUIDlg dlg(nullptr, Seam());
    EXPECT_EQ(dlg.geometry().size(),
              CMainUIDlg::InitialGeometry(QGuiApplication::primaryScreen()->geometry()).size());
}

TEST_F(MainWindowTest, TabsMenuTitleIconsAndKeys) {
    CMainUIDlg dlg(nullptr, Seam());
    dlg.show();
    QStringList texts{dlg.windowTitle()};
    for (QAction* a : dlg.MenuBar()->actions()) texts << a->text();
    texts << dlg.ExitAction()->text() << dlg.AboutAction()->text() << dlg.ChineseAction()->text();
    QTabBar* bar = dlg.Tabs()->Bar();
    for (int i = 0; i < bar->count(); ++i) texts << bar->tabText(i);
    EXPECT_EQ(texts, QStringList({"TorvoProxy System", "File", "语言", "About", "Exit", "About us",
                                  "中文", "Monitoring", "Setting", "Alarm", "Logs"}));
    for (int selected : {2, 3, 1, 0}) {
        bar->setCurrentIndex(selected);
        EXPECT_FALSE(bar->tabIcon(selected).isNull());
        for (int i = 0; i < 4; ++i) EXPECT_EQ(dlg.Page(i)->isVisible(), i == selected);
        // the shown page has the focus, or hands it to a control of its own
        const QWidget* focus = dlg.focusWidget();
        EXPECT_TRUE(focus == dlg.Page(selected) || dlg.Page(selected)->isAncestorOf(focus))
            << selected;
    }
    emit qobject_cast<QMenu*>(dlg.ExitAction()->parent())->aboutToShow();
    EXPECT_FALSE(dlg.ExitAction()->icon().isNull() || dlg.AboutAction()->icon().isNull());
    EXPECT_FALSE(dlg.windowIcon().isNull());
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(&dlg, key);
        EXPECT_TRUE(dlg.isVisible()) << key;
    }
}

TEST_F(MainWindowTest, CheckMarkFollowsTheStoredLanguageAndChoosingItDoesNothing) {
    CMainUIDlg dlg(nullptr, Seam());
    dlg.show();
    auto* popup = qobject_cast<QMenu*>(dlg.ChineseAction()->parent());
    ASSERT_NE(popup, nullptr);
    for (const auto& [stored, zh] :
         {std::pair{"zh", true}, {"en", false}, {"ZH", false}, {"", false}}) {
        stored_ = stored;
        emit popup->aboutToShow();
        EXPECT_EQ(dlg.ChineseAction()->isChecked(), zh) << stored;
        EXPECT_EQ(dlg.EnglishAction()->isChecked(), !zh) << stored;
    }
    for (const char* active : {"zh", "en"}) {
        stored_ = active;
        (stored_ == "zh" ? dlg.ChineseAction() : dlg.EnglishAction())->trigger();
        EXPECT_EQ(dlg.ChineseAction()->isChecked(), stored_ == "zh");
    }
    EXPECT_TRUE(saved_.empty() && restarts_ == 0 && dlg.isVisible() && !dlg.RestartPending());
}

TEST_F(MainWindowTest, ChoosingTheOtherLanguageWritesMainDbClosesAndRestarts) {
    const test::ScopedInstall install(
        "insert into configuration values ('lang', 'en'), ('listen_port', '8089');");
    SystemConf::instance().load();
    for (const auto& [stored, zh, expected] :
         {std::tuple{"en", true, "zh"}, {"zh", false, "en"}, {"ZH", true, "zh"}}) {
        SystemConf::instance().language = stored;
        SystemConf::instance().listenPort = 1234;  // the switch writes the language alone
        bool closedFirst = false;
        CMainUIDlg* window = nullptr;
        LanguageSwitch seam = DefaultLanguageSwitch();
        seam.startRestartedConsole = [&] {
            closedFirst = !window->isVisible();
            ++restarts_;
        };
        CMainUIDlg dlg(nullptr, seam);
        window = &dlg;
        dlg.show();
        (zh ? dlg.ChineseAction() : dlg.EnglishAction())->trigger();
        EXPECT_EQ(install.Value("lang"), expected) << stored;
        EXPECT_EQ(install.Value("listen_port"), "8089") << stored;
        EXPECT_TRUE(closedFirst && dlg.RestartPending()) << stored;
    }
    EXPECT_EQ(restarts_, 3);
}

}  // namespace
