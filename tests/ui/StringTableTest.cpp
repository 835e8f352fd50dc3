// The string table: every id has both texts, the tricky texts are exact, Qt's own Chinese
// translation is loaded, and the console's sources and windows use no text outside the table.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
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

TEST(StringTable, HoldsEveryNumberedStringWithBothTexts) {
    std::vector<int> expected{101, 102, 103, 104, 106};
    for (int id = 108; id <= 147; ++id) expected.push_back(id);
    for (int id = 150; id <= 157; ++id) expected.push_back(id);
    EXPECT_EQ(Ids(), expected);
    for (int id : Ids()) {
        for (UiLanguage language : kLanguages) {
            EXPECT_FALSE(res::Str(id, language).isEmpty()) << id;
        }
    }
    EXPECT_TRUE(res::Str(999).isEmpty());
}

TEST(StringTable, EveryControlTextHasBothTexts) {
    for (int i = 0; i < static_cast<int>(res::Ctl::Count_); ++i) {
        for (UiLanguage language : kLanguages) {
            EXPECT_FALSE(res::Str(static_cast<res::Ctl>(i), language).isEmpty()) << i;
        }
    }
    for (int i = 0; i < static_cast<int>(res::Fixed::Count_); ++i) {
        EXPECT_FALSE(res::Str(static_cast<res::Fixed>(i)).isEmpty()) << i;
    }
}

TEST(StringTable, TextsAreExactInBothLanguages) {
    struct Case {
        int id;
        const char* english;
        const char* chinese;
    };
    const Case cases[] = {
        {101, "About TorvoProxy(&A)...", "关于 MainUI(&A)..."},
        {103, "Windows 套接字初始化失败。", "Windows 套接字初始化失败。"},
        {106, "TorvoProxy tip", "TorvoProxy提示"},
        {114, "Modifyed successfully", "修改成功"},
        {135, "Can't identify proxy service", "无法识别服务状态"},
        {138, "Ip", "Ip"},
        {150,
         "In order for the changed configuration to take effect, pls restart the proxy engine.",
         "修改监听端口后，必须手工重启代理服务引擎"},
        {153, "TorvoProxy System", "TorvoProxy代理服务器系统"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(res::Str(c.id, UiLanguage::English), QString::fromUtf8(c.english)) << c.id;
        EXPECT_EQ(res::Str(c.id, UiLanguage::Chinese), QString::fromUtf8(c.chinese)) << c.id;
    }
    // Each set names the language popup in the other language; the colons are full-width.
    EXPECT_EQ(res::Str(res::Ctl::MenuLanguage, UiLanguage::English), "语言");
    EXPECT_EQ(res::Str(res::Ctl::MenuLanguage, UiLanguage::Chinese), "Language");
    EXPECT_EQ(res::Str(res::Ctl::AccountUserName, UiLanguage::English), "User name：");
    EXPECT_EQ(res::Str(res::Ctl::ListenPortLabel, UiLanguage::Chinese), "代理服务端口:");
    EXPECT_EQ(res::Str(res::Fixed::AlreadyRunningCaption), "提示");
    EXPECT_EQ(res::Str(res::Fixed::OperationFailedText), "Operation failed");
}

TEST(StringTable, CurrentLanguageSelectsTheColumnAndQtsOwnTranslation) {
    res::SetUiLanguage(UiLanguage::Chinese);
    EXPECT_EQ(res::CurrentUiLanguage(), UiLanguage::Chinese);
    EXPECT_EQ(res::Str(res::IDS_TAB_MONITORING), "监控");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), "确定");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "取消");
    res::SetUiLanguage(UiLanguage::English);
    EXPECT_EQ(res::Str(res::IDS_TAB_MONITORING), "Monitoring");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), "OK");
}

// --- no text outside the table ----------------------------------------------------------

QSet<QString> TableTexts(UiLanguage language) {
    QSet<QString> texts;
    for (int id : Ids()) texts.insert(res::Str(id, language));
    for (int i = 0; i < static_cast<int>(res::Ctl::Count_); ++i) {
        texts.insert(res::Str(static_cast<res::Ctl>(i), language));
    }
    for (int i = 0; i < static_cast<int>(res::Fixed::Count_); ++i) {
        texts.insert(res::Str(static_cast<res::Fixed>(i)));
    }
    return texts;
}

// Removes comments, keeping string literals (a "//" inside a literal is not a comment).
QString WithoutComments(const QString& source) {
    QString out;
    enum { Code, Literal, Line, Block } state = Code;
    for (int i = 0; i < source.size(); ++i) {
        const QChar c = source[i], next = i + 1 < source.size() ? source[i + 1] : QChar();
        switch (state) {
            case Code:
                if (c == '/' && next == '/')
                    state = Line;
                else if (c == '/' && next == '*')
                    state = Block, ++i;
                else {
                    if (c == '"') state = Literal;
                    if (c == '\'' && i + 2 < source.size()) {  // a char literal such as '"'
                        const int close = source.indexOf('\'', i + (next == '\\' ? 3 : 2));
                        if (close > 0 && close - i <= 4) {
                            out += source.mid(i, close - i + 1);
                            i = close;
                            break;
                        }
                    }
                    out += c;
                }
                break;
            case Literal:
                out += c;
                if (c == '\\')
                    out += next, ++i;
                else if (c == '"')
                    state = Code;
                break;
            case Line:
                if (c == '\n') state = Code, out += c;
                break;
            case Block:
                if (c == '*' && next == '/') state = Code, ++i;
                break;
        }
    }
    return out;
}

// Literals the console may show that are not texts of their own.
const QSet<QString> kAllowedShownLiterals = {
    "<a href=\\\"%1\\\">%2</a>",  // the about box link: address and the table's label
};

TEST(StringTable, ConsoleSourcesShowNoTextOutsideTheTable) {
    const QSet<QString> english = TableTexts(UiLanguage::English);
    const QRegularExpression literal(R"re("((?:[^"\\\n]|\\.)*)")re");
    // A literal handed straight to something that shows it.
    const QRegularExpression shownCall(
        R"re((setText|setWindowTitle|setToolTip|setStatusTip|setWhatsThis|addTab|insertTab|)re"
        R"re(setTabText|addAction|addMenu|setTitle|setPlaceholderText|ShowMessage|showMessage|)re"
        R"re(setHeaderLabels|setHorizontalHeaderLabels|QPushButton|QLabel|QGroupBox|QCheckBox|)re"
        R"re(QRadioButton|QAction|QMenu|information|warning|critical|question)\s*\(\s*)re"
        R"re((?:[\w:]+\s*\(\s*)?$)re");
    const QRegularExpression trCall(R"re(\btr\s*\()re");

    QStringList violations;
    int files = 0;
    QDirIterator it(QStringLiteral(TORVO_SOURCE_DIR "/ui"), {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith("/ui/res/Strings.cpp") || path.contains("/ui/res/tools/")) continue;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        ++files;
        const QString code = WithoutComments(QString::fromUtf8(file.readAll()));
        const QString where = path.mid(path.indexOf("/ui/") + 1);
        if (trCall.match(code).hasMatch()) violations << where + ": tr() instead of the table";
        for (auto m = literal.globalMatch(code); m.hasNext();) {
            const auto match = m.next();
            const QString text = match.captured(1);
            const int lineStart = code.lastIndexOf('\n', match.capturedStart()) + 1;
            const QString before = code.mid(lineStart, match.capturedStart() - lineStart);
            if (before.trimmed().startsWith("#include")) continue;
            const bool hasLetters = text.contains(QRegularExpression("[A-Za-z]"));
            bool bad = false;
            for (QChar c : text) bad |= c.unicode() > 0x7f;  // shown texts come from the table
            bad |= text.size() >= 3 && hasLetters && english.contains(text);
            bad |= hasLetters && shownCall.match(before).hasMatch() &&
                   !kAllowedShownLiterals.contains(text);
            if (bad) violations << where + ": \"" + text + "\"";
        }
    }
    EXPECT_GT(files, 5);
    EXPECT_TRUE(violations.isEmpty()) << violations.join('\n').toStdString();
}

// Every text the main window and its pages show is a table text of the current language.
QStringList ShownTexts(const CMainUIDlg& dlg) {
    QStringList texts{dlg.windowTitle()};
    for (QAction* popup : dlg.MenuBar()->actions()) {
        texts << popup->text();
        if (popup->menu()) {
            for (QAction* item : popup->menu()->actions()) texts << item->text();
        }
    }
    for (auto* bar : dlg.findChildren<QTabBar*>()) {
        for (int i = 0; i < bar->count(); ++i) texts << bar->tabText(i);
    }
    for (auto* label : dlg.findChildren<QLabel*>()) texts << label->text();
    for (auto* button : dlg.findChildren<QAbstractButton*>()) texts << button->text();
    for (auto* group : dlg.findChildren<QGroupBox*>()) texts << group->title();
    for (auto* view : dlg.findChildren<QAbstractItemView*>()) {
        if (!view->model()) continue;
        for (int c = 0; c < view->model()->columnCount(); ++c) {
            texts << view->model()->headerData(c, Qt::Horizontal).toString();
        }
    }
    return texts;
}

TEST(StringTable, MainWindowShowsOnlyTableTextsOfItsLanguage) {
    const QRegularExpression data(R"(^[\d\s:./-]*$)");  // numbers, times: data, not texts
    for (UiLanguage language : kLanguages) {
        res::SetUiLanguage(language);
        const QSet<QString> allowed = TableTexts(language);
        std::string stored = language == UiLanguage::Chinese ? "zh" : "en";
        CMainUIDlg dlg(nullptr, {[&] { return stored; }, [](const std::string&) {}, [] {}});
        dlg.show();
        QApplication::processEvents();
        int checked = 0;
        for (const QString& text : ShownTexts(dlg)) {
            if (text.isEmpty() || data.match(text).hasMatch()) continue;
            ++checked;
            EXPECT_TRUE(allowed.contains(text)) << "\"" << text.toStdString() << "\" in "
                                                << (stored == "zh" ? "Chinese" : "English");
        }
        EXPECT_GE(checked, 11);  // title, 3 popups, 4 items, 4 tabs at least
    }
    res::SetUiLanguage(UiLanguage::English);
}

}  // namespace
