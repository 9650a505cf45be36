// The language of the window and of varnelt-check's log, decided once at start, before any
// text is shown. Japanese is the language of the sources; English comes from a catalogue.
#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

namespace varnelt {

enum class UiLanguage { Japanese, English };

// [Option] Language=ja or en decides; any other value, or none, leaves it to the first of the
// user's languages: Japanese when that is Japanese, English otherwise.
UiLanguage ChooseUiLanguage(const QStringList& userLanguages, const QString& setting);

// The choice for this process: the settings file at iniFilePath and the system's languages
// (LANGUAGE, then LC_ALL, LC_MESSAGES and LANG).
UiLanguage StartupUiLanguage(const QString& iniFilePath);

// Installs the program's catalogue for the language; Japanese needs none. False when the
// catalogue is missing: the texts then stay Japanese.
bool InstallProgramTranslation(QCoreApplication& app, UiLanguage language);

}  // namespace varnelt
