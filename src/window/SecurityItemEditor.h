#pragma once
// The rules of the access list editor's entry dialog, whatever draws it: adding one entry,
// updating one or several selected entries, or asking whether to add a client that has just
// tried to connect. The editor works on its own copy of the list; the caller takes the list
// back after OK. The free functions are the same rules for callers without a dialog.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "security/AccessControlList.h"

namespace kestrom {

// Values of the dialog's three-state boxes.
enum CBoxValue : int { kBoxClear = 0, kBoxTicked = 1, kBoxIndeterminate = 2 };

// Which products' permission boxes may be used: Wenlow, ClerkOrvo, FieldOrvo.
struct CProductSwitches {
    bool wenlow = true;
    bool clerkOrvo = true;
    bool fieldOrvo = true;
};

enum class CEntryMode { Add, UpdateOne, UpdateSeveral, Prompt };

// The values behind the dialog's controls, taken from them and shown in them as a whole.
struct CSecurityItemValues {
    std::array<std::u16string, 6> macBytes;
    std::u16string name;
    std::array<int, 4> boxes{};  // Enable, Wenlow, ClerkOrvo, FieldOrvo
    bool operator==(const CSecurityItemValues&) const = default;
};

// Letters and digits by Unicode, one UTF-16 code unit at a time, as Qt's QChar tells them.
bool IsLetterOrDigit(char16_t c);
// Upper case by Unicode's full mapping ("ß" becomes "SS"), as QString::toUpper gives it.
std::u16string ToUpperText(std::u16string_view text);

// The refusal of a MAC byte text ("Valid characters are 0-9, A-Z"), or empty when it is
// taken. Each byte edit accepts at most two characters; the length is checked only at OK.
std::u16string_view CheckMacByteText(std::u16string_view text);
// The checks of OK, in order: in add mode six complete bytes; then the bytes are upper-cased
// (in `values`); then no other entry of `list` may have the same MAC text (in update modes
// only when one entry's address or name changed). Returns the refusal's text, or empty.
// `selection` holds the indices of the entries updated, in row order.
std::u16string_view ValidateSecurityItem(CEntryMode mode,
                                         const std::vector<CAccessControlItem>& list,
                                         const std::vector<int>& selection,
                                         CSecurityItemValues& values);
// Applies checked values: appends the new entry, or updates each selected one (several keep
// their own addresses and names; an indeterminate box keeps each entry's own value).
void ApplySecurityItem(CEntryMode mode, std::vector<CAccessControlItem>& list,
                       const std::vector<int>& selection, const CSecurityItemValues& values);

// The dialog's OK for callers that take every value at once (the browser console): the byte
// texts as the byte edits take them (letters and digits, at most two), then
// ValidateSecurityItem and ApplySecurityItem. `selection` empty adds; a prompt passes a
// one-entry list and {0}. Returns the refusal's text with `list` unchanged, or empty with
// `list` changed. An index that names no entry is refused with "Please select an item".
std::u16string_view EditAccessList(std::vector<CAccessControlItem>& list,
                                   const std::vector<int>& selection, bool prompt,
                                   CSecurityItemValues values);

class CSecurityItemEditor {
  public:
    // `selection` holds list indices in row order; empty means adding. A prompt passes a
    // one-entry list with selection {0}. Indices that name no entry are dropped.
    CSecurityItemEditor(std::vector<CAccessControlItem> list, std::vector<int> selection,
                        CProductSwitches products, bool prompt);

    CEntryMode Mode() const { return mode_; }
    // The list as edited; meaningful after a successful Accept.
    const std::vector<CAccessControlItem>& List() const { return list_; }
    const CSecurityItemValues& Values() const { return values_; }

    // How the dialog shows.
    std::u16string_view Title() const;
    bool QuestionShown() const { return mode_ == CEntryMode::Prompt; }
    bool MacAndNameEditable() const { return mode_ != CEntryMode::UpdateSeveral; }
    bool FirstFocusOnName() const { return mode_ == CEntryMode::Prompt; }
    bool OkEnabled() const { return okEnabled_; }
    // `box` 1 to 3: usable when its product switch is on and "Enable" is not clear.
    bool ProductBoxUsable(int box) const;

    // The operator's changes, each with the values taken from all controls. Values the dialog
    // puts into its own controls are no changes and are not reported.
    struct CMacEdit {
        std::u16string_view refusal;  // shown, and the edit gets Values().macBytes back
        bool moveFocusOn = false;     // typing runs on into the next byte edit
    };
    CMacEdit MacEdited(int index, const CSecurityItemValues& taken);
    void NameEdited(const CSecurityItemValues& taken);
    // True when the values must be shown again: an indeterminate box was settled to clear.
    bool BoxClicked(int box, const CSecurityItemValues& taken);
    struct CAccept {
        std::u16string_view refusal;  // shown; the dialog stays open
        bool showValues = false;      // the MAC bytes were upper-cased
    };
    CAccept Accept(const CSecurityItemValues& taken);

  private:
    std::vector<CAccessControlItem> list_;
    std::vector<int> selection_;
    CProductSwitches products_;
    CEntryMode mode_;
    CSecurityItemValues values_;
    bool okEnabled_ = false;
};

}  // namespace kestrom
