#pragma once
// The entry dialog of the access list editor: adds one entry, updates one or several selected
// entries, or asks whether to add a client that has just tried to connect. It edits its own
// copy of the list; the caller takes the list back after OK.
#include <QDialog>
#include <QMessageBox>
#include <array>
#include <functional>
#include <vector>

#include "security/AccessControlList.h"

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

// Values of the dialog's three-state boxes.
enum CBoxValue : int { kBoxClear = 0, kBoxTicked = 1, kBoxIndeterminate = 2 };

// Which products' permission boxes may be used: Wenlow, ClerkOrvo, FieldOrvo.
struct CProductSwitches {
    bool wenlow = true;
    bool clerkOrvo = true;
    bool fieldOrvo = true;
};

class CAddUpdateSecurityItemDlg : public QDialog {
    Q_OBJECT
  public:
    enum class Mode { Add, UpdateOne, UpdateSeveral, Prompt };

    // `selection` holds list indices in row order; empty means adding. A prompt passes a
    // one-entry list with selection {0}.
    CAddUpdateSecurityItemDlg(std::vector<CAccessControlItem> list, std::vector<int> selection,
                              CProductSwitches products, bool prompt, QWidget* parent = nullptr,
                              CMessageBoxFn messageBox = {});

    Mode DialogMode() const { return mode_; }
    // The list as edited; meaningful after OK.
    const std::vector<CAccessControlItem>& List() const { return list_; }

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
    void TakeValues();
    void UpdateProductBoxes();
    void OnMacEdited(int index);
    void OnBoxClicked(int box);
    // Refuses a MAC text already used by another entry; `skip` is the entry being updated.
    bool IsDuplicate(const std::u16string& macText, int skip) const;
    void Tell(const QString& text);

    std::vector<CAccessControlItem> list_;
    std::vector<int> selection_;
    CProductSwitches products_;
    Mode mode_;
    CMessageBoxFn messageBox_;

    // The values behind the controls, taken from them and shown in them as a whole.
    std::array<QString, 6> macTexts_;
    QString name_;
    std::array<int, 4> boxValues_{};  // Enable, Wenlow, ClerkOrvo, FieldOrvo

    std::array<QLineEdit*, 6> macEdits_{};
    QLineEdit* nameEdit_ = nullptr;
    std::array<QCheckBox*, 4> boxes_{};
    QLabel* question_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

}  // namespace kestrom
