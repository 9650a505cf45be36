// Where the program keeps its settings and finds its help pages and translations.
#pragma once

#include <QString>

namespace varnelt {

// "varnelt.ini" in the program's folder when that file exists there (a portable copy),
// otherwise in the user's configuration folder ($XDG_CONFIG_HOME/varnelt/).
QString IniFilePath();

// A help page (index.html, index.en.html) beside the program (a build tree) or in the
// installed share folder.
QString HelpFilePath(const QString& page);

// The folder of the program's translation catalogues, found like the help page.
QString TranslationsFolder();

// The archive worker program: beside the running program (a build tree), else in
// ../lib/varnelt beside it (installed). Empty when neither holds it.
QString WorkerProgramPath();

}  // namespace varnelt
