// Start-up: what happens between the program's start and the first idle moment.
#include <QAction>
#include <QCheckBox>
#include <QFileInfo>

#include "base/paths.h"
#include "targets/registrar.h"
#include "ui/check_mark_images.h"
#include "ui/main_window.h"

namespace varnelt {

void MainWindow::Form_Load(const QByteArrayList& arguments, const QString& iniFilePath) {
    iniFilePath_ = iniFilePath;
    DetectArchivers();
    RefreshFormState();
    if (QFileInfo(iniFilePath_).isFile()) {
        LoadSettings();
    } else {
        mnuOptionIniDefault_Click();
        for (QAction* item : {mnuOptionFastMode, mnuOptionFormTop, mnuOptionSettingHidden}) {
            SetMenuCheckBitmaps(item);
        }
    }
    // Every argument is registered; the first that names nothing is reported once.
    MaybeError pending;
    Registrar registrar = makeRegistrar();
    registerWith([&] {
        for (const QByteArray& argument : arguments) {
            // A relative path is taken from the folder the program was started in.
            const MaybeError error =
                registrar.AddPath(AbsoluteNativePath(argument), chkSubFolderAdd->isChecked());
            if (error && !pending) {
                pending = error;
            }
        }
    });
    if (pending) {
        ShowRuntimeError(*pending);
    }
    RefreshFormState();
}

}  // namespace varnelt
