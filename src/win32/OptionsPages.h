#pragma once
// The three pages of the Windows options sheet.
#include <vector>

#include "core/Settings.h"
#include "security/AccessControlList.h"
#include "security/PromptPolicy.h"
#include "win32/OptionsSheet.h"
#include "window/OptionsRules.h"

namespace kestrom {

// The TCP buffer sizes, used when the listener is next created.
class COptionsGeneralPage : public COptionsPage {
  public:
    COptionsGeneralPage(COptionsSheet& sheet, CSharedSettings& settings);

  protected:
    void OnCreate() override;
    void OnCommand(int id, int code) override;
    bool Validate() override;
    void Apply() override;

  private:
    // "Enter an integer." and the edit selected when its text is not one.
    bool CheckInteger(int editId) const;

    CSharedSettings& settings_;
    int initSend_ = 0;
    int initReceive_ = 0;
};

// The code set of the wire and of written files.
class COptionsDatabasePage : public COptionsPage {
  public:
    COptionsDatabasePage(COptionsSheet& sheet, CSharedSettings& settings);

  protected:
    void OnCreate() override;
    void Apply() override;

  private:
    CSharedSettings& settings_;
};

// The security switches, the prompt switch and the access list editor on a working copy of
// the list, which replaces the access list only at OK.
class COptionsSecurityPage : public COptionsPage {
  public:
    COptionsSecurityPage(COptionsSheet& sheet, CSharedSettings& settings,
                         CAccessControlList& accessList, CPromptPolicy& prompts);

  protected:
    void OnCreate() override;
    void OnCommand(int id, int code) override;
    bool OnListNotify(NMHDR* header, LRESULT& result) override;
    void Apply() override;
    bool QueryCancel() override;

  private:
    void TakeValues();
    void ShowValues();
    void OnSecurityClicked();
    void OnSelectionChanged();
    void CreateColumns();
    void Fill();
    void Recolour();
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw) const;
    void OnAdd();
    void OnUpdate();
    void OnDelete();
    // Runs the entry dialog; on OK its list becomes the working list.
    void EditEntries(std::vector<int> selection);
    std::vector<int> SelectedRows() const;
    int EntryOfRow(int row) const;
    void SetEntryOfRow(int row, int entry) const;

    CSharedSettings& settings_;
    CAccessControlList& accessList_;
    CPromptPolicy& prompts_;
    std::vector<CAccessControlItem> working_;
    CSecuritySwitches values_;
    // What each row shows, in row order: its texts' colours and its background.
    std::vector<CSecurityRow> rows_;
    // Set while the page itself changes the list, whose notifications are then no clicks.
    bool changingList_ = false;
};

}  // namespace kestrom
