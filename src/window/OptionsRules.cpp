#include "window/OptionsRules.h"

#include <algorithm>

#include "window/WindowTexts.h"

namespace kestrom {

std::vector<COptionsPageEntry> OptionsPages(bool shiftAndCtrlHeld, bool hyWire) {
    std::vector<COptionsPageEntry> pages;
    if (shiftAndCtrlHeld) pages.push_back({COptionsPageKind::kGeneral, texts::kGeneralPage});
    pages.push_back({COptionsPageKind::kDatabase, texts::kDatabasePage});
    if (!hyWire) pages.push_back({COptionsPageKind::kSecurity, texts::kSecurityPage});
    return pages;
}

void AdoptListenerBufferSizes(CKestromSettings& s, int send, int receive) {
    if (s.TCPSendBufferSize <= 0 && send > 0) {
        s.TCPSendBufferSize = send;
        s.TCPInitSendBufferSize = send;
    }
    if (s.TCPReceiveBufferSize <= 0 && receive > 0) {
        s.TCPReceiveBufferSize = receive;
        s.TCPInitReceiveBufferSize = receive;
    }
}

std::optional<int> ReadIntegerText(std::u16string_view text) {
    // Only the ASCII blanks are ignored here, as Qt's and the C library's readers do.
    const auto blank = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<int>(value);
}

CCodeSetButtons CodeSetButtonsOf(int charMode) {
    return {charMode == 0, charMode == 1};
}

std::optional<int> CharModeOf(CCodeSetButtons buttons) {
    if (!buttons.singleByte && !buttons.unicode) return std::nullopt;
    return buttons.unicode ? 1 : 0;
}

CSecuritySwitches SecuritySwitchesOf(const CKestromSettings& s, bool promptEnabled) {
    return {s.SecurityEnabled, s.WenlowSecurityEnabled, s.ClerkOrvoSecurityEnabled,
            s.FieldOrvoSecurityEnabled, promptEnabled};
}

void StoreSecuritySwitches(CKestromSettings& s, const CSecuritySwitches& switches) {
    s.SecurityEnabled = switches.security;
    s.WenlowSecurityEnabled = switches.wenlow;
    s.ClerkOrvoSecurityEnabled = switches.clerkOrvo;
    s.FieldOrvoSecurityEnabled = switches.fieldOrvo;
}

std::array<std::u16string_view, kSecurityColumns> SecurityColumnTitles() {
    return {texts::kColumnMac, texts::kColumnName, texts::kColumnEnabled,
            texts::kWenlow,    texts::kClerkOrvo,  texts::kFieldOrvo};
}

CRgb SecurityRowBackground(const CAccessControlItem& entry, const CSecuritySwitches& switches) {
    return switches.security && entry.enabled != 0 ? kActiveRowColour : kInactiveRowColour;
}

CSecurityRow SecurityRowOf(const CAccessControlItem& e, const CSecuritySwitches& switches) {
    const bool enabled = e.enabled != 0;
    const std::array<bool, 4> yes = {enabled, e.allowWenlow != 0 && switches.wenlow && enabled,
                                     e.allowClerkOrvo != 0 && switches.clerkOrvo && enabled,
                                     e.allowFieldOrvo != 0 && switches.fieldOrvo && enabled};
    CSecurityRow row;
    row.texts[0] = e.GetMacText();
    row.texts[1] = e.name;
    row.textColours[0] = kTextColour;
    row.textColours[1] = kTextColour;
    for (size_t column = 2; column < kSecurityColumns; ++column) {
        row.texts[column] = yes[column - 2] ? texts::kYes : texts::kNo;
        row.textColours[column] = yes[column - 2] ? kYesColour : kNoColour;
    }
    row.background = SecurityRowBackground(e, switches);
    return row;
}

std::vector<int> DeleteSecurityRows(std::vector<CAccessControlItem>& working,
                                    std::vector<int> rowEntries, const std::vector<int>& rows) {
    std::vector<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::erase_if(sorted,
                  [&](int r) { return r < 0 || static_cast<size_t>(r) >= rowEntries.size(); });
    for (int r : sorted) {
        const int index = rowEntries[static_cast<size_t>(r)];
        if (index < 0 || static_cast<size_t>(index) >= working.size()) continue;
        working.erase(working.begin() + index);
        for (int& data : rowEntries) {
            if (data > index) --data;
        }
    }
    // The rows go from the bottom up, so each row number still names its row.
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it)
        rowEntries.erase(rowEntries.begin() + *it);
    return rowEntries;
}

bool CancelNeedsQuestion(const std::vector<CAccessControlItem>& working,
                         const std::vector<CAccessControlItem>& current) {
    return working != current;
}

}  // namespace kestrom
