#pragma once
// The console's string table: every user-visible text in English and Simplified Chinese.
// The language is chosen once at start-up (SetUiLanguage) and selects the column for the run.
#include <QString>

#include "Common/Texts.h"

namespace res {

// Selects the language of every text below. With a QCoreApplication alive it also installs
// (Chinese) or removes (English) Qt's own translation, so standard buttons read "确定"/"取消";
// the default locale (month and day names) follows too.
void SetUiLanguage(UiLanguage language);
UiLanguage CurrentUiLanguage();

// Numbered strings. Str(id) gives the text in the current language; an unknown id gives an
// empty text (the caller's bug, logged once).
QString Str(int id);
// The text of a numbered string in a given language, whatever the current one is.
QString Str(int id, UiLanguage language);

QString Str(Ctl id);
QString Str(Ctl id, UiLanguage language);

QString Str(Fixed id);

}  // namespace res
