// Qt's own texts (standard buttons, the file dialog's labels) in Japanese, when the window is.
#pragma once

class QCoreApplication;
class QTranslator;

namespace varnelt {

// Installs Qt's Japanese catalogue from Qt's translations folder. Returns the translator, owned
// by the application, or nullptr when the catalogue is not installed (Qt's texts then stay
// English).
QTranslator* InstallQtTranslations(QCoreApplication& app);

}  // namespace varnelt
