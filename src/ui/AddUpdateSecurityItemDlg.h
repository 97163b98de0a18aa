#pragma once
// The entry dialog of the access list editor drawn by Qt: adds one entry, updates one or
// several selected entries, or asks whether to add a client that has just tried to connect.
// Its rules and its copy of the list are those of window/SecurityItemEditor.
#include <QDialog>
#include <QMessageBox>
#include <array>
#include <functional>
#include <vector>

#include "security/AccessControlList.h"
#include "window/SecurityItemEditor.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrom {

// Every message box of the options dialog and the editor goes through one of these, so tests
// can answer them without a desktop. Returns the button pressed.
using CMessageBoxFn = std::function<QMessageBox::StandardButton(
    QWidget* parent, QMessageBox::Icon icon, const QString& text,
    QMessageBox::StandardButtons buttons)>;

// A real, modal message box titled "Kestrom".
QMessageBox::StandardButton ShowKestromMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                                  const QString& text,
                                                  QMessageBox::StandardButtons buttons);

class CAddUpdateSecurityItemDlg : public QDialog {
    Q_OBJECT
  public:
    using Mode = CEntryMode;

    // `selection` holds list indices in row order; empty means adding. A prompt passes a
    // one-entry list with selection {0}.
    CAddUpdateSecurityItemDlg(std::vector<CAccessControlItem> list, std::vector<int> selection,
                              CProductSwitches products, bool prompt, QWidget* parent = nullptr,
                              CMessageBoxFn messageBox = {});

    Mode DialogMode() const { return editor_.Mode(); }
    // The list as edited; meaningful after OK.
    const std::vector<CAccessControlItem>& List() const { return editor_.List(); }

    // The controls, for the page's tests and the prompt's answerer.
    QLineEdit* MacEdit(int index) const { return macEdits_[index]; }
    QLineEdit* NameEdit() const { return nameEdit_; }
    QCheckBox* EnableBox() const { return boxes_[0]; }
    QCheckBox* WenlowBox() const { return boxes_[1]; }
    QCheckBox* ClerkOrvoBox() const { return boxes_[2]; }
    QCheckBox* FieldOrvoBox() const { return boxes_[3]; }
    QLabel* QuestionLabel() const { return question_; }
    QPushButton* OkButton() const { return okButton_; }

  public slots:
    void accept() override;

  private:
    void BuildControls();
    void ShowValues();
    // The values of all controls, as the editor takes them.
    CSecurityItemValues Taken() const;
    void UpdateProductBoxes();
    void UpdateOkButton();
    void OnMacEdited(int index);
    void OnBoxClicked(int box);
    void Tell(std::u16string_view text);

    CSecurityItemEditor editor_;
    CMessageBoxFn messageBox_;

    std::array<QLineEdit*, 6> macEdits_{};
    QLineEdit* nameEdit_ = nullptr;
    std::array<QCheckBox*, 4> boxes_{};
    QLabel* question_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

}  // namespace kestrom
