// The main window: layout, minimum size, tabs, menu, keys, and the language switch observed
// through its seam.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
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

// The language switch with its outside world recorded.
struct RecordingSwitch {
    std::string stored = "en";
    std::vector<std::string> saved;
    int restarts = 0;

    LanguageSwitch Seam() {
        return {[this] { return stored; },
                [this](const std::string& code) {
                    saved.push_back(code);
                    stored = code;
                },
                [this] { ++restarts; }};
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { res::SetUiLanguage(res::UiLanguage::English); }
    void TearDown() override { res::SetUiLanguage(res::UiLanguage::English); }

    RecordingSwitch languages_;
};

QMenu* PopupOf(QAction* action) {
    return qobject_cast<QMenu*>(action->parent());
}

TEST_F(MainWindowTest, AllFourPagesShareOneRectangleBelowTheTabHeaders) {
    CMainUIDlg dlg(nullptr, languages_.Seam());
    dlg.show();
    for (QSize size : {QSize(800, 800), QSize(1280, 900), QSize(1024, 1500), QSize(1900, 1000),
                       QSize(801, 999)}) {
        dlg.resize(size);
        QApplication::processEvents();
        const QWidget* client = dlg.Dashboard()->parentWidget();
        const int cw = client->width(), ch = client->height(), t = ch / 3;
        SCOPED_TRACE(testing::Message() << cw << "x" << ch);
        EXPECT_EQ(dlg.Dashboard()->geometry(), QRect(10, 0, cw - 20, t));
        EXPECT_EQ(dlg.Tabs()->geometry(), QRect(10, t, cw - 20, ch - t - 10));

        const QTabBar* bar = dlg.Tabs()->Bar();
        const QRect expected(0, bar->tabRect(0).height() + 2, dlg.Tabs()->width(),
                             dlg.Tabs()->height() - bar->tabRect(0).height() - 2);
        for (int i = 0; i < CMainUIDlg::kPageCount; ++i) {
            EXPECT_EQ(dlg.Page(i)->geometry(), expected) << "page " << i;
            EXPECT_EQ(dlg.Page(i)->parentWidget(), dlg.Tabs());
        }
        EXPECT_GT(dlg.Page(0)->geometry().top(), bar->tabRect(0).bottom());
    }
}

TEST_F(MainWindowTest, CannotShrinkBelow800By800) {
    CMainUIDlg dlg(nullptr, languages_.Seam());
    dlg.show();
    dlg.resize(300, 200);
    QApplication::processEvents();
    EXPECT_EQ(dlg.minimumSize(), QSize(800, 800));
    EXPECT_GE(dlg.width(), 800);
    EXPECT_GE(dlg.height(), 800);
}

TEST_F(MainWindowTest, InitialSizeFollowsTheScreen) {
    CMainUIDlg dlg(nullptr, languages_.Seam());
    const QRect s = QGuiApplication::primaryScreen()->geometry();
    const int x = (s.width() - s.width() / 3) / 2, y = (s.height() - 2 * (s.height() / 3)) / 2;
    EXPECT_EQ(dlg.width(), std::max(800, x + s.width() / 3));
    EXPECT_EQ(dlg.height(), std::max(800, y + 2 * (s.height() / 3)));
}

TEST_F(MainWindowTest, TabsInOrderWithLabelsAndImagesAndPageSelection) {
    CMainUIDlg dlg(nullptr, languages_.Seam());
    dlg.show();
    QApplication::processEvents();
    QTabBar* bar = dlg.Tabs()->Bar();
    ASSERT_EQ(bar->count(), 4);
    const char* labels[] = {"Monitoring", "Setting", "Alarm", "Logs"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(bar->tabText(i), labels[i]);
        EXPECT_FALSE(bar->tabIcon(i).isNull());
    }
    EXPECT_TRUE(dlg.Page(0)->isVisible());
    for (int selected : {2, 3, 1, 0}) {
        bar->setCurrentIndex(selected);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(dlg.Page(i)->isVisible(), i == selected);
    }
    EXPECT_EQ(dlg.windowTitle(), "TorvoProxy System");
    EXPECT_FALSE(dlg.windowIcon().isNull());
}

TEST_F(MainWindowTest, MenuTextsInBothLanguages) {
    struct Case {
        res::UiLanguage language;
        QStringList popups;
        QString exit, about;
    };
    const Case cases[] = {
        {res::UiLanguage::English, {"File", "语言", "About"}, "Exit", "About us"},
        {res::UiLanguage::Chinese, {"文件", "Language", "关于"}, "退出", "关于我们"},
    };
    for (const Case& c : cases) {
        res::SetUiLanguage(c.language);
        CMainUIDlg dlg(nullptr, languages_.Seam());
        QStringList popups;
        for (QAction* a : dlg.MenuBar()->actions()) popups << a->text();
        EXPECT_EQ(popups, c.popups);
        EXPECT_EQ(dlg.ExitAction()->text(), c.exit);
        EXPECT_EQ(dlg.AboutAction()->text(), c.about);
        EXPECT_EQ(dlg.ChineseAction()->text(), "中文");
        EXPECT_EQ(dlg.EnglishAction()->text(), "English");
    }
}

TEST_F(MainWindowTest, CheckMarkFollowsTheStoredLanguage) {
    CMainUIDlg dlg(nullptr, languages_.Seam());
    QMenu* popup = PopupOf(dlg.ChineseAction());
    ASSERT_NE(popup, nullptr);
    for (const auto& [stored, chinese] : std::vector<std::pair<std::string, bool>>{
             {"zh", true}, {"en", false}, {"ZH", false}, {"", false}, {"zh", true}}) {
        languages_.stored = stored;
        emit popup->aboutToShow();
        EXPECT_EQ(dlg.ChineseAction()->isChecked(), chinese) << stored;
        EXPECT_EQ(dlg.EnglishAction()->isChecked(), !chinese) << stored;
    }
    emit PopupOf(dlg.ExitAction())->aboutToShow();
    EXPECT_FALSE(dlg.ExitAction()->icon().isNull());
    EXPECT_FALSE(dlg.AboutAction()->icon().isNull());
}

TEST_F(MainWindowTest, ChoosingTheActiveLanguageDoesNothing) {
    for (const std::string stored : {"en", "zh"}) {
        languages_ = {};
        languages_.stored = stored;
        CMainUIDlg dlg(nullptr, languages_.Seam());
        dlg.show();
        (stored == "zh" ? dlg.ChineseAction() : dlg.EnglishAction())->trigger();
        EXPECT_TRUE(languages_.saved.empty());
        EXPECT_EQ(languages_.restarts, 0);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_FALSE(dlg.RestartPending());
        EXPECT_EQ(dlg.ChineseAction()->isChecked(), stored == "zh");  // the mark stays
    }
}

TEST_F(MainWindowTest, ChoosingTheOtherLanguageSavesClosesAndRestarts) {
    for (const auto& [stored, choose, expected] :
         std::vector<std::tuple<std::string, bool, std::string>>{
             {"en", true, "zh"}, {"zh", false, "en"}, {"ZH", true, "zh"}}) {
        languages_ = {};
        languages_.stored = stored;
        CMainUIDlg* window = nullptr;
        bool closedBeforeRestart = false;
        LanguageSwitch seam = languages_.Seam();
        seam.startRestartedConsole = [&] {
            closedBeforeRestart = !window->isVisible();
            ++languages_.restarts;
        };
        CMainUIDlg dlg(nullptr, seam);
        window = &dlg;
        dlg.show();
        (choose ? dlg.ChineseAction() : dlg.EnglishAction())->trigger();
        EXPECT_EQ(languages_.saved, std::vector<std::string>{expected}) << stored;
        EXPECT_EQ(languages_.restarts, 1);
        EXPECT_TRUE(closedBeforeRestart);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_TRUE(dlg.RestartPending());
    }
}

TEST_F(MainWindowTest, ExitWithoutLanguageChangeDoesNotRestart) {
    CMainUIDlg dlg(nullptr, languages_.Seam());
    dlg.show();
    dlg.ExitAction()->trigger();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(languages_.restarts, 0);
}

TEST_F(MainWindowTest, EnterAndEscapeLeaveTheWindowOpenCloseButtonEndsIt) {
    CMainUIDlg dlg(nullptr, languages_.Seam());
    dlg.show();
    QApplication::processEvents();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(&dlg, key);
        EXPECT_TRUE(dlg.isVisible()) << key;
    }
    dlg.accept();
    dlg.reject();
    EXPECT_TRUE(dlg.isVisible());
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST_F(MainWindowTest, RealSettingsStoreWritesTheLanguageRow) {
    TestInstall install;
    install.MakeDatabase({{"lang", "en"}, {"listen_port", "8089"}, {"torvoagent_allow", "1"}});
    OverrideModuleDirectory(install.Dir().toStdString());
    qputenv("TORVO_LOCK_DIR", install.Dir().toUtf8());
    SystemConf::instance().load();
    ASSERT_EQ(SystemConf::instance().language, "en");

    int restarts = 0;
    LanguageSwitch seam = DefaultLanguageSwitch();
    seam.startRestartedConsole = [&] { ++restarts; };
    CMainUIDlg dlg(nullptr, seam);
    dlg.show();
    dlg.ChineseAction()->trigger();
    EXPECT_EQ(install.Configuration("lang"), "zh");
    EXPECT_EQ(restarts, 1);

    SystemConf::instance().language = "zh";
    OverrideModuleDirectory("");
    qunsetenv("TORVO_LOCK_DIR");
}

TEST_F(MainWindowTest, AboutBoxShowsTheVersionAndALink) {
    Version::instance().version = "3.0.7";
    for (auto [language, title, ok] :
         {std::tuple{res::UiLanguage::English, "About TorvoProxy", "Ok"},
          std::tuple{res::UiLanguage::Chinese, "关于TorvoProxy", "确定"}}) {
        res::SetUiLanguage(language);
        CAboutDlg about;
        EXPECT_EQ(about.windowTitle(), QString::fromUtf8(title));
        EXPECT_EQ(about.VersionText()->text(), "3.0.7");
        EXPECT_EQ(about.OkButton()->text(), QString::fromUtf8(ok));
        EXPECT_TRUE(about.Link()->text().contains(kOnlineHelpUrl));
        EXPECT_TRUE(about.Link()->openExternalLinks());
        QTimer::singleShot(0, about.OkButton(), &QPushButton::click);
        EXPECT_EQ(about.exec(), QDialog::Accepted);
    }
    Version::instance().version = "3.0.0";
}

}  // namespace
