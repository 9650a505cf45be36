// The About box: the program's icon, name and version, the maker's notice and addresses.
#pragma once

#include <QDialog>

namespace varnelt {

class Desktop;

inline constexpr char kMakerWebPage[] = "https://varnelt.example/";
inline constexpr char kMakerMail[] = "support@varnelt.example";

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    AboutDialog(Desktop& desktop, QWidget* parent);
};

}  // namespace varnelt
