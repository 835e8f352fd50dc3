// The main window: layout, minimum and initial size, tabs, menu, keys, about box, and the
// language switch observed through its seam.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include "Common/Paths.h"
#include "Common/SystemConf.h"
#include "Common/Version.h"
#include "tests/ui/TestInstall.h"
#include "ui/CAboutDlg.h"
#include "ui/CMainUIDlg.h"
#include "ui/CTabControl.h"
#include "ui/res/Strings.h"

namespace {

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

TEST_F(MainWindowTest, PagesShareOneRectangleBelowTheTabHeadersAtEverySize) {
    CMainUIDlg dlg(nullptr, Seam());
    dlg.show();
    EXPECT_EQ(dlg.minimumSize(), QSize(800, 800));
    for (QSize size : {QSize(300, 200), QSize(1280, 900), QSize(1024, 1500), QSize(801, 999)}) {
        dlg.resize(size);
        QApplication::processEvents();
        EXPECT_EQ(dlg.size(), size.expandedTo(QSize(800, 800)));
        const QWidget* client = dlg.Dashboard()->parentWidget();
        const int cw = client->width(), ch = client->height(), t = ch / 3;
        SCOPED_TRACE(testing::Message() << cw << "x" << ch);
        EXPECT_EQ(dlg.Dashboard()->geometry(), QRect(10, 0, cw - 20, t));
        EXPECT_EQ(dlg.Tabs()->geometry(), QRect(10, t, cw - 20, ch - t - 10));
        const int header = dlg.Tabs()->Bar()->tabRect(0).height() + 2;
        for (int i = 0; i < CMainUIDlg::kPageCount; ++i) {
            EXPECT_EQ(dlg.Page(i)->geometry(),
                      QRect(0, header, dlg.Tabs()->width(), dlg.Tabs()->height() - header));
        }
    }
}

TEST_F(MainWindowTest, TabsMenuTitleAndIcons) {
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
        // the shown page has the focus; the monitoring page hands it to a control of its own
        const QWidget* focus = dlg.focusWidget();
        EXPECT_TRUE(selected == 0 ? focus != dlg.Page(0) && dlg.Page(0)->isAncestorOf(focus)
                                  : focus == dlg.Page(selected))
            << selected;
    }
    emit qobject_cast<QMenu*>(dlg.ExitAction()->parent())->aboutToShow();
    EXPECT_FALSE(dlg.ExitAction()->icon().isNull() || dlg.AboutAction()->icon().isNull());
    EXPECT_FALSE(dlg.windowIcon().isNull());
}

TEST_F(MainWindowTest, CheckMarkFollowsTheStoredLanguageAndChoosingItDoesNothing) {
    CMainUIDlg dlg(nullptr, Seam());
    dlg.show();
    auto* popup = qobject_cast<QMenu*>(dlg.ChineseAction()->parent());
    ASSERT_NE(popup, nullptr);
    for (const auto& [stored, chinese] :
         {std::pair{"zh", true}, {"en", false}, {"ZH", false}, {"", false}, {"zh", true}}) {
        stored_ = stored;
        emit popup->aboutToShow();
        EXPECT_EQ(dlg.ChineseAction()->isChecked(), chinese) << stored;
        EXPECT_EQ(dlg.EnglishAction()->isChecked(), !chinese) << stored;
    }
    for (const char* active : {"zh", "en"}) {
        stored_ = active;
        (stored_ == "zh" ? dlg.ChineseAction() : dlg.EnglishAction())->trigger();
        EXPECT_EQ(dlg.ChineseAction()->isChecked(), stored_ == "zh");
    }
    EXPECT_TRUE(saved_.empty());
    EXPECT_EQ(restarts_, 0);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.RestartPending());
}

TEST_F(MainWindowTest, ChoosingTheOtherLanguageWritesMainDbClosesAndRestarts) {
    TestInstall install;
    install.MakeDatabase({{"lang", "en"}, {"listen_port", "8089"}});
    OverrideModuleDirectory(install.Dir().toStdString());
    qputenv("TORVO_LOCK_DIR", install.Dir().toUtf8());  // the process-wide lock keeps it
    SystemConf::instance().load();
    for (const auto& [stored, chinese, expected] :
         {std::tuple{"en", true, "zh"}, {"zh", false, "en"}, {"ZH", true, "zh"}}) {
        SystemConf::instance().language = stored;
        bool closedBeforeRestart = false;
        CMainUIDlg* window = nullptr;
        LanguageSwitch seam = DefaultLanguageSwitch();
        seam.startRestartedConsole = [&] {
            closedBeforeRestart = !window->isVisible();
            ++restarts_;
        };
        CMainUIDlg dlg(nullptr, seam);
        window = &dlg;
        dlg.show();
        (chinese ? dlg.ChineseAction() : dlg.EnglishAction())->trigger();
        EXPECT_EQ(install.Configuration("lang"), expected) << stored;
        EXPECT_TRUE(closedBeforeRestart && dlg.RestartPending()) << stored;
    }
    EXPECT_EQ(restarts_, 3);
    OverrideModuleDirectory("");
    qunsetenv("TORVO_LOCK_DIR");
}

TEST_F(MainWindowTest, EnterAndEscapeLeaveTheWindowOpenExitClosesWithoutRestart) {
    CMainUIDlg dlg(nullptr, Seam());
    dlg.show();
    QApplication::processEvents();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(&dlg, key);
        EXPECT_TRUE(dlg.isVisible()) << key;
    }
    dlg.ExitAction()->trigger();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(restarts_, 0);
}

TEST_F(MainWindowTest, AboutBoxShowsTheVersionAndALink) {
    Version::instance().version = "3.0.7";
    res::SetUiLanguage(res::UiLanguage::Chinese);
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle() + about.OkButton()->text(), "关于TorvoProxy确定");
    EXPECT_EQ(about.VersionText()->text(), "3.0.7");
    EXPECT_TRUE(about.Link()->text().contains(kOnlineHelpUrl));
    EXPECT_TRUE(about.Link()->openExternalLinks());
    QTimer::singleShot(0, about.OkButton(), &QPushButton::click);
    EXPECT_EQ(about.exec(), QDialog::Accepted);
    Version::instance().version = "3.0.0";
}

}  // namespace
