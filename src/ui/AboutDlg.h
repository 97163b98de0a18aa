#pragma once
// The about box: version, release date and the program icon.
#include <QDialog>

namespace kestrom {

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(const QIcon& icon, QWidget* parent = nullptr);
};

}  // namespace kestrom
