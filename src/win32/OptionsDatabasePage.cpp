#include "win32/DialogText.h"
#include "win32/OptionsPages.h"
#include "win32/resource.h"
#include "window/WindowTexts.h"

namespace kestrom {

COptionsDatabasePage::COptionsDatabasePage(COptionsSheet& sheet, CSharedSettings& settings)
    : COptionsPage(sheet, IDD_OPTIONS_DATABASE, texts::kDatabasePage), settings_(settings) {}

void COptionsDatabasePage::OnCreate() {
    SetItemText(hwnd_, IDC_CODE_SET_GROUP, texts::kCodeSetGroup);
    SetItemText(hwnd_, IDC_SINGLE_BYTE, texts::kSingleByte);
    SetItemText(hwnd_, IDC_UNICODE, texts::kUnicode);
    const CCodeSetButtons buttons = CodeSetButtonsOf(settings_.Get().CharMode);
    Check(IDC_SINGLE_BYTE, buttons.singleByte);
    Check(IDC_UNICODE, buttons.unicode);
}

void COptionsDatabasePage::Apply() {
    const std::optional<int> charMode =
        CharModeOf({IsChecked(IDC_SINGLE_BYTE), IsChecked(IDC_UNICODE)});
    if (!charMode) return;
    // Connection threads take the settings per message, so the next message uses it.
    settings_.Update([&](CKestromSettings& s) { s.CharMode = *charMode; });
}

}  // namespace kestrom
