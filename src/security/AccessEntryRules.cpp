#include "security/AccessEntryRules.h"

#include <algorithm>

namespace kestrom {

namespace {

bool LetterOrDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

std::u16string Upper(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

CAccessControlItem EntryOf(const CEntryEdit& edit) {
    CAccessControlItem item;
    item.macByte1 = edit.macBytes[0];
    item.macByte2 = edit.macBytes[1];
    item.macByte3 = edit.macBytes[2];
    item.macByte4 = edit.macBytes[3];
    item.macByte5 = edit.macBytes[4];
    item.macByte6 = edit.macBytes[5];
    item.name = edit.name;
    return item;
}

void TakeBox(std::int32_t& value, int box) {
    if (box != 2) value = box != 0 ? 1 : 0;
}

}  // namespace

bool ValidMacByteText(std::u16string_view text) {
    return text.size() <= 2 && std::all_of(text.begin(), text.end(), LetterOrDigit);
}

std::optional<std::u16string_view> ApplyEntryEdit(std::vector<CAccessControlItem>& list,
                                                  const std::vector<size_t>& selection, bool prompt,
                                                  CEntryEdit edit) {
    for (const size_t index : selection)
        if (index >= list.size()) return kSelectItemMessage;
    const bool adding = selection.empty();
    const bool several = selection.size() > 1 && !prompt;
    if (!several)
        for (const auto& byte : edit.macBytes)
            if (!ValidMacByteText(byte)) return kInvalidMacCharMessage;
    if (adding)
        for (const auto& byte : edit.macBytes)
            if (byte.size() != 2) return kIncompleteMacMessage;
    for (auto& byte : edit.macBytes) byte = Upper(std::move(byte));

    CAccessControlItem entered = EntryOf(edit);
    const std::u16string mac = entered.GetMacText();
    if (adding) {
        for (const auto& item : list)
            if (item.GetMacText() == mac) return kDuplicateMacMessage;
        entered.enabled = edit.enabled != 0 ? 1 : 0;
        entered.allowWenlow = edit.allowWenlow == 1 ? 1 : 0;
        entered.allowClerkOrvo = edit.allowClerkOrvo == 1 ? 1 : 0;
        entered.allowFieldOrvo = edit.allowFieldOrvo == 1 ? 1 : 0;
        list.push_back(std::move(entered));
        return std::nullopt;
    }
    if (!several) {
        const CAccessControlItem& selected = list[selection.front()];
        const bool changed =
            entered.GetMacText() != selected.GetMacText() || entered.name != selected.name;
        if (changed)
            for (size_t i = 0; i < list.size(); ++i)
                if (i != selection.front() && list[i].GetMacText() == mac)
                    return kDuplicateMacMessage;
    }
    for (const size_t index : selection) {
        CAccessControlItem item = list[index];
        if (!several) {
            item.macByte1 = entered.macByte1;
            item.macByte2 = entered.macByte2;
            item.macByte3 = entered.macByte3;
            item.macByte4 = entered.macByte4;
            item.macByte5 = entered.macByte5;
            item.macByte6 = entered.macByte6;
            item.name = entered.name;
        }
        TakeBox(item.enabled, edit.enabled);
        TakeBox(item.allowWenlow, edit.allowWenlow);
        TakeBox(item.allowClerkOrvo, edit.allowClerkOrvo);
        TakeBox(item.allowFieldOrvo, edit.allowFieldOrvo);
        list[index] = std::move(item);
    }
    return std::nullopt;
}

std::optional<std::u16string_view> DeleteEntries(std::vector<CAccessControlItem>& list,
                                                 std::vector<size_t> selection) {
    if (selection.empty()) return kSelectItemMessage;
    std::sort(selection.begin(), selection.end());
    selection.erase(std::unique(selection.begin(), selection.end()), selection.end());
    for (auto it = selection.rbegin(); it != selection.rend(); ++it)
        if (*it < list.size()) list.erase(list.begin() + static_cast<std::ptrdiff_t>(*it));
    return std::nullopt;
}

}  // namespace kestrom
