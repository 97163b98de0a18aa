#pragma once
// Text in and out of Windows controls: the core's UTF-16 strings and the wide-character API
// share their code units on Windows.
#include <windows.h>

#include <string>
#include <string_view>

namespace kestrom {

inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline std::u16string FromWide(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

inline std::u16string ItemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    const int length = GetWindowTextLengthW(item);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(item, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return FromWide(text);
}

inline void SetItemText(HWND dialog, int id, std::u16string_view text) {
    SetDlgItemTextW(dialog, id, Wide(text).c_str());
}

}  // namespace kestrom
