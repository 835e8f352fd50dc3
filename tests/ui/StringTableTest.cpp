// The string table: every id has both texts, the tricky texts are exact, Qt's own Chinese
// translation follows the language, and neither the console's sources nor its windows show a
// text outside the table.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTabBar>

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

QStringList TableTexts(UiLanguage language) {
    QStringList texts;
    for (int id : Ids()) texts << res::Str(id, language);
    for (int i = 0; i < static_cast<int>(res::Ctl::Count_); ++i) {
        texts << res::Str(static_cast<res::Ctl>(i), language);
    }
    for (int i = 0; i < static_cast<int>(res::Fixed::Count_); ++i) {
        texts << res::Str(static_cast<res::Fixed>(i));
    }
    return texts;
}

TEST(StringTable, EveryIdHasBothTextsAndTheTrickyOnesAreExact) {
    std::vector<int> expected{101, 102, 103, 104, 106};
    for (int id = 108; id <= 147; ++id) expected.push_back(id);
    for (int id = 150; id <= 157; ++id) expected.push_back(id);
    EXPECT_EQ(Ids(), expected);
    for (UiLanguage language : kLanguages) EXPECT_FALSE(TableTexts(language).contains(""));
    EXPECT_TRUE(res::Str(999).isEmpty());

    const std::tuple<int, const char*, const char*> exact[] = {
        {101, "About TorvoProxy(&A)...", "关于 MainUI(&A)..."},
        {114, "Modifyed successfully", "修改成功"},
        {150,
         "In order for the changed configuration to take effect, pls restart the proxy engine.",
         "修改监听端口后，必须手工重启代理服务引擎"},
        {106, "TorvoProxy tip", "TorvoProxy提示"}};
    for (const auto& [id, english, chinese] : exact) {
        EXPECT_EQ(res::Str(id, UiLanguage::English), english) << id;
        EXPECT_EQ(res::Str(id, UiLanguage::Chinese), chinese) << id;
    }
    // Each set names the language popup in the other language; some colons are full-width.
    EXPECT_EQ(res::Str(res::Ctl::MenuLanguage, UiLanguage::English), "语言");
    EXPECT_EQ(res::Str(res::Ctl::MenuLanguage, UiLanguage::Chinese), "Language");
    EXPECT_EQ(res::Str(res::Ctl::AccountUserName, UiLanguage::English), "User name：");
    EXPECT_EQ(res::Str(res::Fixed::AlreadyRunningCaption), "提示");
}

TEST(StringTable, CurrentLanguageSelectsTheColumnAndQtsOwnTranslation) {
    res::SetUiLanguage(UiLanguage::Chinese);
    EXPECT_EQ(res::Str(res::IDS_TAB_MONITORING), "监控");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "取消");
    res::SetUiLanguage(UiLanguage::English);
    EXPECT_EQ(res::Str(res::IDS_TAB_MONITORING), "Monitoring");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

TEST(StringTable, ConsoleSourcesShowNoTextOutsideTheTable) {
    const QStringList english = TableTexts(UiLanguage::English);
    // Scanned left to right: includes, comments and char literals are skipped, string literals
    // checked.
    const QRegularExpression token(
        R"re(#include[^\n]*|//[^\n]*|/\*.*?\*/|'(?:[^'\\\n]|\\.)*'|\btr\s*\(|"((?:[^"\\\n]|\\.)*)")re",
        QRegularExpression::DotMatchesEverythingOption);
    // A literal handed straight to something that shows it.
    const QRegularExpression shownCall(
        R"re((setText|setWindowTitle|setToolTip|setStatusTip|addTab|insertTab|setTabText|)re"
        R"re(addAction|addMenu|setTitle|setPlaceholderText|ShowMessage|showMessage|)re"
        R"re(setHeaderLabels|setHorizontalHeaderLabels|QPushButton|QLabel|QGroupBox|QCheckBox|)re"
        R"re(QRadioButton|QAction|QMenu|information|warning|critical|question)\s*\(\s*)re"
        R"re((?:[\w:]+\s*\(\s*)?$)re");
    const QString aboutLink = R"(<a href=\"%1\">%2</a>)";
    QStringList violations;
    int files = 0;
    for (QDirIterator it(TORVO_SOURCE_DIR "/ui", {"*.cpp", "*.h"}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        if (path.endsWith("/res/Strings.cpp") || path.contains("/res/tools/")) continue;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        ++files;
        const QString code = QString::fromUtf8(file.readAll());
        const QString where = path.mid(path.indexOf("/ui/") + 1);
        for (auto tokens = token.globalMatch(code); tokens.hasNext();) {
            const auto match = tokens.next();
            if (match.captured(0).startsWith("tr"))
                violations << where + ": tr() instead of the table";
            if (!match.captured(0).startsWith('"')) continue;
            const QString text = match.captured(1);
            const int lineStart = code.lastIndexOf('\n', match.capturedStart()) + 1;
            const QString before = code.mid(lineStart, match.capturedStart() - lineStart);
            const bool letters = text.contains(QRegularExpression("[A-Za-z]"));
            bool bad =
                std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0x7f; });
            bad |= text.size() >= 3 && letters && english.contains(text);
            bad |= letters && text != aboutLink && shownCall.match(before).hasMatch();
            if (bad) violations << where + ": \"" + text + "\"";
        }
    }
    EXPECT_GT(files, 5);
    EXPECT_TRUE(violations.isEmpty()) << violations.join('\n').toStdString();
}

TEST(StringTable, MainWindowShowsOnlyTableTextsOfItsLanguage) {
    const QRegularExpression data(R"(^[\d\s:./-]*$)");  // numbers and times are data
    for (UiLanguage language : kLanguages) {
        res::SetUiLanguage(language);
        const std::string stored = language == UiLanguage::Chinese ? "zh" : "en";
        CMainUIDlg dlg(nullptr, {[&] { return stored; }, [](const std::string&) {}, [] {}});
        dlg.show();
        QApplication::processEvents();
        QStringList shown{dlg.windowTitle()};
        for (QAction* popup : dlg.MenuBar()->actions()) {
            shown << popup->text();
            for (QAction* item : popup->menu()->actions()) shown << item->text();
        }
        for (auto* bar : dlg.findChildren<QTabBar*>()) {
            for (int i = 0; i < bar->count(); ++i) shown << bar->tabText(i);
        }
        for (auto* label : dlg.findChildren<QLabel*>()) shown << label->text();
        for (auto* button : dlg.findChildren<QAbstractButton*>()) shown << button->text();
        for (auto* group : dlg.findChildren<QGroupBox*>()) shown << group->title();
        for (auto* view : dlg.findChildren<QAbstractItemView*>()) {
            for (int c = 0; view->model() && c < view->model()->columnCount(); ++c) {
                shown << view->model()->headerData(c, Qt::Horizontal).toString();
            }
        }
        const QStringList table = TableTexts(language);
        shown.removeIf([&](const QString& t) { return t.isEmpty() || data.match(t).hasMatch(); });
        EXPECT_GE(shown.size(), 11);  // title, 3 popups, 4 items, 4 tabs at least
        for (const QString& text : shown) EXPECT_TRUE(table.contains(text)) << text.toStdString();
    }
    res::SetUiLanguage(UiLanguage::English);
}

}  // namespace
