#pragma once
// What the options sheet decides, whatever draws it: which pages it has, the buffer sizes it
// takes from the listener, the General page's integer check, the Database page's code set,
// and the Security page's switches, list rows, deletions and cancel question. Nothing reaches
// the settings or the access list before OK.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Settings.h"
#include "security/AccessControlList.h"
#include "window/Colour.h"

namespace kestrom {

enum class COptionsPageKind { kGeneral, kDatabase, kSecurity };

struct COptionsPageEntry {
    COptionsPageKind kind;
    std::u16string_view title;
};

// The General page is for support staff: it appears only with Shift and Ctrl held as the
// sheet opens. HY-WIRE clients are never guarded, so that mode has no Security page. The
// first page is shown first.
std::vector<COptionsPageEntry> OptionsPages(bool shiftAndCtrlHeld, bool hyWire);

// Sizes never set are taken from the listening socket, so the General page shows real sizes
// and its Reset buttons bring back what the system chose. A size the listener could not give
// (0 or less) leaves the stored value.
void AdoptListenerBufferSizes(CKestromSettings& settings, int send, int receive);

// A buffer-size text as the dialog framework reads an integer: blanks around it, an optional
// sign, decimal digits within 32 bits. Empty when it is not one ("Enter an integer.").
std::optional<int> ReadIntegerText(std::u16string_view text);

// The Database page's two buttons. A stored mode that neither button shows stays as it was
// unless the operator picks one.
struct CCodeSetButtons {
    bool singleByte = false;
    bool unicode = false;
};
CCodeSetButtons CodeSetButtonsOf(int charMode);
std::optional<int> CharModeOf(CCodeSetButtons buttons);

// The Security page's five check boxes.
struct CSecuritySwitches {
    bool security = false;
    bool wenlow = false;
    bool clerkOrvo = false;
    bool fieldOrvo = false;
    bool prompt = false;
    bool operator==(const CSecuritySwitches&) const = default;
};
CSecuritySwitches SecuritySwitchesOf(const CKestromSettings& settings, bool promptEnabled);
// OK: the four security switches into the settings (the prompt switch lives elsewhere).
void StoreSecuritySwitches(CKestromSettings& settings, const CSecuritySwitches& switches);

// One row of the access list: the MAC text, the name, then "Yes" or "No" for Enabled and each
// product (a product shows "Yes" only when allowed, its page box ticked and the entry enabled).
inline constexpr int kSecurityColumns = 6;
struct CSecurityRow {
    std::array<std::u16string, kSecurityColumns> texts;
    std::array<CRgb, kSecurityColumns> textColours;
    // White while the entry is enabled and "Enable Security" is ticked, else light grey.
    CRgb background;
};
CSecurityRow SecurityRowOf(const CAccessControlItem& entry, const CSecuritySwitches& switches);
CRgb SecurityRowBackground(const CAccessControlItem& entry, const CSecuritySwitches& switches);
std::array<std::u16string_view, kSecurityColumns> SecurityColumnTitles();

// "&Delete": the selected rows (top to bottom) go from the working list. `rowEntries` holds
// each row's entry index in the working list; each removal lowers the index of every row
// after it, so the next selected row still names its own entry. Returns the rows left, in
// order, with their indices.
std::vector<int> DeleteSecurityRows(std::vector<CAccessControlItem>& working,
                                    std::vector<int> rowEntries, const std::vector<int>& rows);

// Cancel asks (kCancelSecurityChanges) only when the working list differs from the list.
bool CancelNeedsQuestion(const std::vector<CAccessControlItem>& working,
                         const std::vector<CAccessControlItem>& current);

}  // namespace kestrom
