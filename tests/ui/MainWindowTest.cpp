// The main window and the string table in both languages, and the language switch.
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
#include <QTabBar>
#include <QTableView>
#include <QTest>

#include "Common/SystemConf.h"
#include "tests/support/TestDb.h"
#include "tests/support/ViewChecks.h"
#include "ui/CMainUIDlg.h"
#include "ui/CTabControl.h"
#include "ui/pages/tabs/CDashboardDlg.h"
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

class MainWindowTest : public ::testing::Test {
protected:
    void TearDown() override { res::SetUiLanguage(res::UiLanguage::English); }
    // A language switch that never stores nor restarts.
    static LanguageSwitch Seam() {
        return {[] { return std::string("en"); }, [](const std::string&) {}, [] {}};
    }
};

// In both languages, at every size (the smallest gives the dashboard 780 x 266) and tab: the
// declared columns reach the lists, controls stay inside their parents, every text shown is a
// table text of its language (data matching a "%1"); every id has both texts; Qt's own follow.
TEST_F(MainWindowTest, EveryPageKeepsItsColumnsControlsInsideAndTextsOfItsLanguage) {
    const test::ScopedInstall install;  // the settings page reads main.db: the test's own
    for (const auto& [lang, cancel] :
         {std::pair{UiLanguage::English, "Cancel"}, {UiLanguage::Chinese, "取消"}}) {
        res::SetUiLanguage(lang);
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);
        EXPECT_FALSE(TableTexts(lang).contains(""));
        CMainUIDlg dlg(nullptr, Seam());
        dlg.show();
        for (QSize size : {QSize(300, 200), QSize(1280, 900), QSize(1900, 1500)}) {
            dlg.resize(size);
            EXPECT_EQ(dlg.size(), size.expandedTo(QSize(800, 800)));
            for (int tab = 0; tab < CMainUIDlg::kPageCount; ++tab) {
                dlg.Tabs()->Bar()->setCurrentIndex(tab);
                QApplication::processEvents();
                EXPECT_EQ(test::BrokenViewRules(dlg), QStringList()) << size.width() << " " << tab;
                EXPECT_EQ(test::TabsOutOfReadingOrder(*dlg.Page(tab)).join("; ").toStdString(), "")
                    << tab;
            }
            EXPECT_EQ(test::TabsOutOfReadingOrder(*dlg.Dashboard()).join("; ").toStdString(), "");
            // The Setting page's boxes where its template puts them in this language; the
            // networks button, the address line, Copy and Save inside the system box, and the line
            // as tall as its text.
            const bool zh = lang == UiLanguage::Chinese;
            const QWidget& setting = *dlg.Page(1);
            auto dlu = [&](const char* name) {
                return test::InDialogUnits(*setting.findChild<QWidget*>(name));
            };
            const QRect system = dlu("group1013"), account = dlu("group1014");
            EXPECT_EQ(QRect(system.x(), system.y(), 306, system.height()),
                      QRect(7, 7, 306, zh ? 62 : 66));
            EXPECT_EQ(account.topLeft(), QPoint(7, zh ? 75 : 79));
            EXPECT_EQ(dlu("button1012").y(), zh ? 49 : 56);
            const QRect systemBox = setting.findChild<QWidget*>("group1013")->geometry();
            for (const char* name :
                 {"allowedNetworks", "clientAddresses", "copyAddresses", "button1012", "edit1011"})
                EXPECT_TRUE(systemBox.contains(setting.findChild<QWidget*>(name)->geometry()))
                    << name << " " << size.width();
            const auto* line = setting.findChild<QLabel*>("clientAddresses");
            EXPECT_GE(line->height(), line->sizeHint().height());
            // The dashboard's axis title stays in its chart (drawn upwards from its top edge),
            // at 10 points wherever the chart is tall enough for that; the statistics columns
            // are at least 100 and 150 px and the centred values stay inside the table.
            const CDashboardDlg& board = *dlg.findChild<CDashboardDlg*>();
            chart::CChartAxisLabel& label = *board.RateChart().leftAxis->GetLabel();
            const chart::ChartRect title = label.GetRect();
            EXPECT_TRUE(title.top >= title.Height() && title.top <= board.ChartArea()->height());
            EXPECT_TRUE(size.height() < 1500 || label.GetFont().Size() == 100) << size.height();
            const QTableView& table = *board.StatisticsTable();
            EXPECT_GE(table.columnWidth(0), 100);
            EXPECT_EQ(table.columnWidth(1), 150);
            const int valueWidth =
                static_cast<const QAbstractItemView&>(table).sizeHintForColumn(1);
            EXPECT_LE(table.columnViewportPosition(1) + (150 + valueWidth) / 2,
                      table.viewport()->width())
                << size.width();
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

// Never below its minimum size; the shown tab's page has the focus; keys never close it.
TEST_F(MainWindowTest, OpensCentredTabsShowTheirPagesAndKeysLeaveItOpen) {
    const test::ScopedInstall install;  // not the main.db beside the test programs
    EXPECT_EQ(CMainUIDlg::InitialGeometry(QRect(0, 0, 1920, 1080)), QRect(320, 90, 1280, 900));
    EXPECT_EQ(CMainUIDlg::InitialGeometry(QRect(0, 0, 1000, 700)), QRect(100, -50, 800, 800));
    CMainUIDlg dlg(nullptr, Seam());
    EXPECT_EQ(dlg.geometry().size(),
              CMainUIDlg::InitialGeometry(QGuiApplication::primaryScreen()->geometry()).size());
    dlg.show();
    QTabBar* bar = dlg.Tabs()->Bar();
    for (int selected : {2, 3, 1, 0}) {
        bar->setCurrentIndex(selected);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(dlg.Page(i)->isVisible(), i == selected);
        // the shown page has the focus, or hands it to a control of its own
        const QWidget* focus = dlg.focusWidget();
        EXPECT_TRUE(focus == dlg.Page(selected) || dlg.Page(selected)->isAncestorOf(focus))
            << selected;
    }
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(&dlg, key);
        EXPECT_TRUE(dlg.isVisible()) << key;
    }
}

// The check mark follows the stored language ("ZH" is not Chinese). Choosing the stored one
// changes nothing; the other one writes the language alone to main.db, closes and restarts.
TEST_F(MainWindowTest, CheckMarkFollowsTheStoredLanguageAndTheOtherOneIsSavedAndRestarts) {
    const test::ScopedInstall install(
        "insert into configuration values ('lang', ''), ('listen_port', '8089');");
    for (const auto& [stored, chosen, restarts] : {std::tuple{"zh", "zh", false},
                                                   {"", "zh", true},
                                                   {"zh", "en", true},
                                                   {"ZH", "zh", true}}) {
        install.Sql("update configuration set value='" + std::string(stored) +
                    "' where key='lang'");
        SystemConf::instance().load();
        const bool zh = std::string(stored) == "zh";
        bool closedFirst = false;
        CMainUIDlg* window = nullptr;
        LanguageSwitch seam = DefaultLanguageSwitch();
        seam.startRestartedConsole = [&] { closedFirst = !window->isVisible(); };
        CMainUIDlg dlg(nullptr, seam);
        window = &dlg;
        dlg.show();
        SystemConf::instance().listenPort = 1234;  // the switch writes the language alone
        emit qobject_cast<QMenu*>(dlg.ChineseAction()->parent())->aboutToShow();
        EXPECT_TRUE(dlg.ChineseAction()->isChecked() == zh &&
                    dlg.EnglishAction()->isChecked() != zh)
            << stored;
        (std::string(chosen) == "zh" ? dlg.ChineseAction() : dlg.EnglishAction())->trigger();
        EXPECT_EQ(install.Value("lang"), restarts ? chosen : stored) << stored;
        EXPECT_EQ(install.Value("listen_port"), "8089") << stored;
        EXPECT_EQ(closedFirst && dlg.RestartPending(), restarts) << stored;
        EXPECT_EQ(dlg.isVisible(), !restarts) << stored;
        EXPECT_TRUE(restarts || dlg.ChineseAction()->isChecked() == zh) << stored;
    }
}

}  // namespace
