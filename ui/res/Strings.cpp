#include "ui/res/Strings.h"

#include <glog/logging.h>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <atomic>
#include <memory>

namespace res {
namespace {

std::atomic<UiLanguage> g_language{UiLanguage::English};

// Qt's own translation (standard buttons, validation messages, ...), installed while Chinese.
std::unique_ptr<QTranslator>& QtTranslator() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

void ApplyQtTranslation(UiLanguage language) {
    auto* app = QCoreApplication::instance();
    auto& translator = QtTranslator();
    if (!app) return;
    if (translator) {
        QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
    if (language != UiLanguage::Chinese) return;
    auto loaded = std::make_unique<QTranslator>();
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!loaded->load(QStringLiteral("qtbase_zh_CN"), dir)) {
        LOG(WARNING) << "Qt's Chinese translation not found in " << dir.toStdString();
        return;
    }
    QCoreApplication::installTranslator(loaded.get());
    translator = std::move(loaded);
}

}  // namespace

void SetUiLanguage(UiLanguage language) {
    g_language.store(language);
    ApplyQtTranslation(language);
    // Widgets that name months and days (the date picker's calendar) follow the console's
    // language, not the desktop's.
    QLocale::setDefault(
        language == UiLanguage::Chinese
            ? QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China)
            : QLocale(QLocale::English, QLocale::UnitedStates));
}

UiLanguage CurrentUiLanguage() {
    return g_language.load();
}

QString Str(int id, UiLanguage language) {
    const char* text = TextOf(id, language);
    if (text == nullptr) {
        LOG(ERROR) << "no string with id " << id;
        return {};
    }
    return QString::fromUtf8(text);
}

QString Str(int id) {
    return Str(id, CurrentUiLanguage());
}

QString Str(Ctl id, UiLanguage language) {
    return QString::fromUtf8(TextOf(id, language));
}

QString Str(Ctl id) {
    return Str(id, CurrentUiLanguage());
}

QString Str(Fixed id) {
    return QString::fromUtf8(TextOf(id));
}

}  // namespace res
