#pragma once
// The access list editor's rules without its dialog: what the entry dialog's OK checks and
// how it changes the list, with its refusal texts. The browser console edits through these;
// the windows show the same texts in their message boxes.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "security/AccessControlList.h"

namespace kestrom {

inline constexpr std::u16string_view kInvalidMacCharMessage = u"Valid characters are 0-9, A-Z";
inline constexpr std::u16string_view kIncompleteMacMessage =
    u"You have entered an incomplete MAC address.  The MAC Address must be 12 bytes long.";
inline constexpr std::u16string_view kDuplicateMacMessage =
    u"A client with that MAC address already exists.";
inline constexpr std::u16string_view kSelectItemMessage = u"Please select an item";

// The dialog's controls: six byte texts, the name, and the four boxes (0 clear, 1 ticked,
// 2 indeterminate: the selected entries differ).
struct CEntryEdit {
    std::array<std::u16string, 6> macBytes;
    std::u16string name;
    int enabled = 1;
    int allowWenlow = 0;
    int allowClerkOrvo = 0;
    int allowFieldOrvo = 0;
};

// A byte edit's text as typed: only letters and digits, at most two.
bool ValidMacByteText(std::u16string_view text);

// The dialog's OK on `list`: adding when `selection` is empty, else updating the selected
// entries (in selection order); `prompt` for the prompt for an unknown client. Returns the
// refusal text, the list unchanged; or none with the list changed.
std::optional<std::u16string_view> ApplyEntryEdit(std::vector<CAccessControlItem>& list,
                                                  const std::vector<size_t>& selection, bool prompt,
                                                  CEntryEdit edit);

// The page's "&Delete": removes the entries at `selection`; indices out of range are
// ignored. kSelectItemMessage when nothing is selected.
std::optional<std::u16string_view> DeleteEntries(std::vector<CAccessControlItem>& list,
                                                 std::vector<size_t> selection);

}  // namespace kestrom
