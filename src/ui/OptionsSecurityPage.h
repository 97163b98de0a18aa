#pragma once
// The Security page drawn by Qt: the security switches, the prompt switch, and the access list
// editor on a working copy of the list, which replaces the access list only at OK. What it
// shows and decides is that of window/OptionsRules.
#include <vector>

#include "core/Settings.h"
#include "security/AccessControlList.h"
#include "security/PromptPolicy.h"
#include "ui/OptionsSheet.h"
#include "window/OptionsRules.h"

class QCheckBox;
class QPushButton;
class QTreeWidget;

namespace kestrom {

// The list's row data role: the entry's index in the working list.
inline constexpr int kEntryIndexRole = Qt::UserRole;

class COptionsSecurityPage : public COptionsPage {
  public:
    COptionsSecurityPage(CSharedSettings& settings, CAccessControlList& accessList,
                         CPromptPolicy& prompts, CMessageBoxFn messageBox,
                         QWidget* parent = nullptr);

    void Apply() override;
    bool QueryCancel() override;

    const std::vector<CAccessControlItem>& WorkingList() const { return working_; }

    QCheckBox* SecurityBox() const { return securityBox_; }
    QCheckBox* WenlowBox() const { return wenlowBox_; }
    QCheckBox* ClerkOrvoBox() const { return clerkOrvoBox_; }
    QCheckBox* FieldOrvoBox() const { return fieldOrvoBox_; }
    QCheckBox* PromptBox() const { return promptBox_; }
    QTreeWidget* List() const { return list_; }
    QPushButton* AddButton() const { return addButton_; }
    QPushButton* DeleteButton() const { return deleteButton_; }
    QPushButton* UpdateButton() const { return updateButton_; }

    // The button and list commands.
    void OnAdd();
    void OnDelete();
    void OnUpdate();

  protected:
    void Create() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void TakeValues();
    void ShowValues();
    void OnSecurityClicked();
    void OnSelectionChanged();
    void CreateColumns();
    void Fill();
    void Recolour();
    // Runs the entry dialog; on OK its list becomes the working list.
    void EditEntries(std::vector<int> selection);
    std::vector<int> SelectedRows() const;

    CSharedSettings& settings_;
    CAccessControlList& accessList_;
    CPromptPolicy& prompts_;
    CMessageBoxFn messageBox_;
    std::vector<CAccessControlItem> working_;
    CSecuritySwitches values_;

    QCheckBox* securityBox_ = nullptr;
    QCheckBox* wenlowBox_ = nullptr;
    QCheckBox* clerkOrvoBox_ = nullptr;
    QCheckBox* fieldOrvoBox_ = nullptr;
    QCheckBox* promptBox_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QPushButton* updateButton_ = nullptr;
};

}  // namespace kestrom
