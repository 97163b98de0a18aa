#pragma once
// The addresses admission has recorded for one product, as they were when the dialog opened.
#include <QDialog>
#include <string>
#include <vector>

#include "security/ClientAddressLists.h"

namespace kestrom {

class CClientsDlg : public QDialog {
    Q_OBJECT
  public:
    CClientsDlg(CProduct product, const std::vector<std::u16string>& addresses,
                QWidget* parent = nullptr);
};

}  // namespace kestrom
