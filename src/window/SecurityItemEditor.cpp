#include "window/SecurityItemEditor.h"

#include <algorithm>

#include "window/WindowTexts.h"

namespace kestrom {
namespace {

struct CUnitRange {
    char16_t first;
    char16_t last;
};
struct CUpperRun {
    char16_t first;
    char16_t last;
    int step;   // 1 for a block, 2 for alternating lower and upper forms
    int delta;  // the upper form's distance
};
struct CUpperSpecial {
    char16_t unit;
    const char16_t* upper;  // more than one code unit
};

#include "window/UnicodeTables.inc"

std::array<int32_t, 4> FlagsOf(const CAccessControlItem& e) {
    return {e.enabled, e.allowWenlow, e.allowClerkOrvo, e.allowFieldOrvo};
}

void SetFlags(CAccessControlItem& e, const std::array<int32_t, 4>& flags) {
    e.enabled = flags[0];
    e.allowWenlow = flags[1];
    e.allowClerkOrvo = flags[2];
    e.allowFieldOrvo = flags[3];
}

std::array<std::u16string*, 6> MacBytesOf(CAccessControlItem& e) {
    return {&e.macByte1, &e.macByte2, &e.macByte3, &e.macByte4, &e.macByte5, &e.macByte6};
}

CAccessControlItem EntryOf(const CSecurityItemValues& values) {
    CAccessControlItem entry;
    const auto bytes = MacBytesOf(entry);
    for (size_t i = 0; i < 6; ++i) *bytes[i] = values.macBytes[i];
    entry.name = values.name;
    return entry;
}

bool IsDuplicate(const std::vector<CAccessControlItem>& list, const std::u16string& macText,
                 int skip) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (static_cast<int>(i) != skip && list[i].GetMacText() == macText) return true;
    }
    return false;
}

CEntryMode ModeOf(size_t selected, bool prompt) {
    if (prompt && selected > 0) return CEntryMode::Prompt;
    if (selected == 0) return CEntryMode::Add;
    return selected == 1 ? CEntryMode::UpdateOne : CEntryMode::UpdateSeveral;
}

}  // namespace

bool IsLetterOrDigit(char16_t c) {
    const auto* end = std::end(kLetterOrNumber);
    const auto* range =
        std::upper_bound(std::begin(kLetterOrNumber), end, c,
                         [](char16_t unit, const CUnitRange& r) { return unit < r.first; });
    return range != std::begin(kLetterOrNumber) && c <= (range - 1)->last;
}

std::u16string ToUpperText(std::u16string_view text) {
    std::u16string upper;
    upper.reserve(text.size());
    for (char16_t c : text) {
        const auto special = std::find_if(std::begin(kUpperSpecial), std::end(kUpperSpecial),
                                          [c](const CUpperSpecial& s) { return s.unit == c; });
        if (special != std::end(kUpperSpecial)) {
            upper += special->upper;
            continue;
        }
        const auto* run =
            std::upper_bound(std::begin(kUpperRuns), std::end(kUpperRuns), c,
                             [](char16_t unit, const CUpperRun& r) { return unit < r.first; });
        if (run != std::begin(kUpperRuns)) {
            --run;
            if (c <= run->last && (c - run->first) % run->step == 0) {
                upper += static_cast<char16_t>(c + run->delta);
                continue;
            }
        }
        upper += c;
    }
    return upper;
}

std::u16string_view CheckMacByteText(std::u16string_view text) {
    for (char16_t c : text) {
        if (!IsLetterOrDigit(c)) return texts::kInvalidMacCharacter;
    }
    return {};
}

namespace {

std::u16string_view IncompleteRefusal(CEntryMode mode, const CSecurityItemValues& values) {
    if (mode != CEntryMode::Add) return {};
    for (const std::u16string& text : values.macBytes) {
        if (text.size() != 2) return texts::kIncompleteMac;
    }
    return {};
}

std::u16string_view DuplicateRefusal(CEntryMode mode, const std::vector<CAccessControlItem>& list,
                                     const std::vector<int>& selection,
                                     const CSecurityItemValues& values) {
    const CAccessControlItem entered = EntryOf(values);
    if (mode == CEntryMode::Add)
        return IsDuplicate(list, entered.GetMacText(), -1) ? texts::kDuplicateMac
                                                           : std::u16string_view();
    if (mode == CEntryMode::UpdateSeveral || selection.empty()) return {};
    // Only a changed address or name can collide with another entry; one that collided
    // already when it was loaded can still have its permissions changed.
    const int selected = selection.front();
    const CAccessControlItem& old = list[static_cast<size_t>(selected)];
    const bool changed = old.GetMacText() != entered.GetMacText() || old.name != entered.name;
    return changed && IsDuplicate(list, entered.GetMacText(), selected) ? texts::kDuplicateMac
                                                                        : std::u16string_view();
}

void UpperCaseMacBytes(CSecurityItemValues& values) {
    // Stored upper case, so the same address typed in either case is one address.
    for (std::u16string& text : values.macBytes) text = ToUpperText(text);
}

}  // namespace

std::u16string_view ValidateSecurityItem(CEntryMode mode,
                                         const std::vector<CAccessControlItem>& list,
                                         const std::vector<int>& selection,
                                         CSecurityItemValues& values) {
    if (const auto refusal = IncompleteRefusal(mode, values); !refusal.empty()) return refusal;
    UpperCaseMacBytes(values);
    return DuplicateRefusal(mode, list, selection, values);
}

void ApplySecurityItem(CEntryMode mode, std::vector<CAccessControlItem>& list,
                       const std::vector<int>& selection, const CSecurityItemValues& values) {
    const auto& boxes = values.boxes;
    if (mode == CEntryMode::Add) {
        CAccessControlItem entered = EntryOf(values);
        SetFlags(entered, {boxes[0], boxes[1], boxes[2], boxes[3]});
        list.push_back(entered);
        return;
    }
    for (int index : selection) {
        if (index < 0 || static_cast<size_t>(index) >= list.size()) continue;
        CAccessControlItem updated = list[static_cast<size_t>(index)];
        if (mode != CEntryMode::UpdateSeveral) {
            const CAccessControlItem entered = EntryOf(values);
            updated.macByte1 = entered.macByte1;
            updated.macByte2 = entered.macByte2;
            updated.macByte3 = entered.macByte3;
            updated.macByte4 = entered.macByte4;
            updated.macByte5 = entered.macByte5;
            updated.macByte6 = entered.macByte6;
            updated.name = entered.name;
        }
        auto flags = FlagsOf(updated);
        for (size_t b = 0; b < 4; ++b) {
            if (boxes[b] != kBoxIndeterminate) flags[b] = boxes[b];
        }
        SetFlags(updated, flags);
        list[static_cast<size_t>(index)] = updated;
    }
}

std::u16string_view EditAccessList(std::vector<CAccessControlItem>& list,
                                   const std::vector<int>& selection, bool prompt,
                                   CSecurityItemValues values) {
    for (int index : selection) {
        if (index < 0 || static_cast<size_t>(index) >= list.size()) return texts::kSelectAnItem;
    }
    const CEntryMode mode = ModeOf(selection.size(), prompt);
    if (mode != CEntryMode::UpdateSeveral) {
        for (const std::u16string& text : values.macBytes) {
            if (text.size() > 2) return texts::kIncompleteMac;
            if (const auto refusal = CheckMacByteText(text); !refusal.empty()) return refusal;
        }
    }
    // Only several entries can show a box as indeterminate; a new entry has no value to keep.
    if (mode == CEntryMode::Add) {
        for (int& box : values.boxes) {
            if (box == kBoxIndeterminate) box = kBoxClear;
        }
    }
    if (const auto refusal = ValidateSecurityItem(mode, list, selection, values); !refusal.empty())
        return refusal;
    ApplySecurityItem(mode, list, selection, values);
    return {};
}

CSecurityItemEditor::CSecurityItemEditor(std::vector<CAccessControlItem> list,
                                         std::vector<int> selection, CProductSwitches products,
                                         bool prompt)
    : list_(std::move(list)), selection_(std::move(selection)), products_(products) {
    // A selection that does not name entries of the list would make OK write out of bounds;
    // such indices are dropped before the mode is chosen from what is left.
    std::erase_if(selection_,
                  [this](int i) { return i < 0 || static_cast<size_t>(i) >= list_.size(); });
    mode_ = ModeOf(selection_.size(), prompt);

    if (mode_ == CEntryMode::UpdateOne || mode_ == CEntryMode::Prompt) {
        CAccessControlItem& entry = list_[static_cast<size_t>(selection_.front())];
        const auto bytes = MacBytesOf(entry);
        for (size_t i = 0; i < 6; ++i) values_.macBytes[i] = *bytes[i];
        values_.name = entry.name;
        const auto flags = FlagsOf(entry);
        for (size_t b = 0; b < 4; ++b) values_.boxes[b] = flags[b] != 0 ? kBoxTicked : kBoxClear;
    } else if (mode_ == CEntryMode::UpdateSeveral) {
        const auto first = FlagsOf(list_[static_cast<size_t>(selection_.front())]);
        for (size_t b = 0; b < 4; ++b) {
            values_.boxes[b] = first[b] != 0 ? kBoxTicked : kBoxClear;
            for (int index : selection_) {
                if (FlagsOf(list_[static_cast<size_t>(index)])[b] != first[b])
                    values_.boxes[b] = kBoxIndeterminate;
            }
        }
    } else {
        values_.boxes = {kBoxTicked, kBoxClear, kBoxClear, kBoxClear};
    }
    okEnabled_ = mode_ == CEntryMode::Prompt;
}

std::u16string_view CSecurityItemEditor::Title() const {
    return mode_ == CEntryMode::UpdateOne ? texts::kUpdateClientTitle : texts::kAddMacTitle;
}

bool CSecurityItemEditor::ProductBoxUsable(int box) const {
    const bool enable = values_.boxes[0] != kBoxClear;
    switch (box) {
        case 1:
            return products_.wenlow && enable;
        case 2:
            return products_.clerkOrvo && enable;
        case 3:
            return products_.fieldOrvo && enable;
        default:
            return true;
    }
}

CSecurityItemEditor::CMacEdit CSecurityItemEditor::MacEdited(int index,
                                                             const CSecurityItemValues& taken) {
    const std::u16string previous = values_.macBytes[static_cast<size_t>(index)];
    values_ = taken;
    const std::u16string_view refusal =
        CheckMacByteText(values_.macBytes[static_cast<size_t>(index)]);
    if (!refusal.empty()) {
        values_.macBytes[static_cast<size_t>(index)] = previous;
        return {refusal, false};
    }
    okEnabled_ = true;
    return {{}, index < 5 && values_.macBytes[static_cast<size_t>(index)].size() == 2};
}

void CSecurityItemEditor::NameEdited(const CSecurityItemValues& taken) {
    values_ = taken;
    okEnabled_ = true;
}

bool CSecurityItemEditor::BoxClicked(int box, const CSecurityItemValues& taken) {
    values_ = taken;
    okEnabled_ = true;
    if (values_.boxes[static_cast<size_t>(box)] != kBoxIndeterminate) return false;
    values_.boxes[static_cast<size_t>(box)] = kBoxClear;
    return true;
}

CSecurityItemEditor::CAccept CSecurityItemEditor::Accept(const CSecurityItemValues& taken) {
    values_ = taken;
    if (const auto refusal = IncompleteRefusal(mode_, values_); !refusal.empty())
        return {refusal, false};
    UpperCaseMacBytes(values_);
    if (const auto refusal = DuplicateRefusal(mode_, list_, selection_, values_); !refusal.empty())
        return {refusal, true};
    ApplySecurityItem(mode_, list_, selection_, values_);
    return {{}, true};
}

}  // namespace kestrom
