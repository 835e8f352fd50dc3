// The string table: both texts of every id, the tricky ones exact, the window in one language.
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

#include "tests/support/TestDb.h"
#include "ui/CMainUIDlg.h"
#include "ui/res/Strings.h"

namespace {

using res::UiLanguage;
constexpr UiLanguage kLanguages[] = {UiLanguage::English, UiLanguage::Chinese};

std::vector<int> Ids() {
    int count = 0;
    const int* ids = res::AllStringIds(&count);
    return {ids, ids + count};
}

QStringList TableTexts(UiLanguage lang) {
    QStringList texts;
    for (int id : Ids()) texts << res::Str(id, lang);
    for (int i = 0; i < static_cast<int>(res::Ctl::Count_); ++i)
        texts << res::Str(static_cast<res::Ctl>(i), lang);
    for (int i = 0; i < static_cast<int>(res::Fixed::Count_); ++i)
        texts << res::Str(static_cast<res::Fixed>(i));
    return texts;
}

TEST(StringTable, EveryIdHasBothTexts) {
    EXPECT_GT(Ids().size(), 60u);
    for (UiLanguage lang : kLanguages) EXPECT_FALSE(TableTexts(lang).contains(""));
}

TEST(StringTable, TrickyTextsAreExact) {
    const std::tuple<int, const char*, const char*> exact[] = {
        {101, "About TorvoProxy(&A)...", "关于 MainUI(&A)..."},
        {114, "Modifyed successfully", "修改成功"},
        {150,
         "In order for the changed configuration to take effect, pls restart the proxy engine.",
         "修改监听端口后，必须手工重启代理服务引擎"}};
    for (const auto& [id, en, zh] : exact) {
        EXPECT_EQ(res::Str(id, UiLanguage::English) + res::Str(id, UiLanguage::Chinese),
                  QString(en) + zh);
    }
    // the colon is full-width
    EXPECT_EQ(res::Str(res::Ctl::AccountUserName, UiLanguage::English), "User name：");
}

// The language selects the table's column and Qt's own translation (standard buttons).
TEST(StringTable, TheLanguageSelectsTableAndQtTexts) {
    for (const auto& [lang, tab, cancel] : {std::tuple{UiLanguage::Chinese, "监控", "取消"},
                                            {UiLanguage::English, "Monitoring", "Cancel"}}) {
        res::SetUiLanguage(lang);
        EXPECT_EQ(res::Str(res::IDS_TAB_MONITORING), tab);
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);
    }
}

TEST(StringTable, MainWindowShowsOnlyTableTextsOfItsLanguage) {
    const QRegularExpression data(R"(^[\d\s:./-]*$)");  // numbers and times are data
    const test::ScopedInstall install;  // the settings page reads main.db: the test's own
    for (UiLanguage lang : kLanguages) {
        res::SetUiLanguage(lang);
        const std::string stored = lang == UiLanguage::Chinese ? "zh" : "en";
        CMainUIDlg dlg(nullptr, {[&] { return stored; }, [](const std::string&) {}, [] {}});
        dlg.show();
        QApplication::processEvents();
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
        const QStringList table = TableTexts(lang);
        shown.removeIf([&](const QString& t) { return t.isEmpty() || data.match(t).hasMatch(); });
        EXPECT_GE(shown.size(), 11);  // title, 3 popups, 4 items, 4 tabs at least
        // A text with data in it matches its table text's "%1".
        QStringList patterns;
        for (QString t : table)
            patterns << QRegularExpression::escape(t).replace(QRegularExpression(R"(\\%\d)"), ".*");
        const QRegularExpression inTable("^(" + patterns.join('|') + ")$");
        for (const QString& text : shown)
            EXPECT_TRUE(inTable.match(text).hasMatch()) << text.toStdString();
    }
    res::SetUiLanguage(UiLanguage::English);
}

}  // namespace
