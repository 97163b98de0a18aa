#include "win32/OptionsSheet.h"

#include "server/Server.h"
#include "win32/DialogText.h"
#include "win32/OptionsPages.h"
#include "win32/resource.h"
#include "window/OptionsRules.h"
#include "window/WindowTexts.h"

namespace kestrom {
namespace {

// The sheet's Apply button; Help is IDHELP.
constexpr int kApplyButton = 0x3021;
constexpr UINT_PTR kSheetSubclass = 1;

// Read from the keyboard itself, so keys held while the menu was used still count.
bool ShiftAndCtrlHeld() {
    return (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0 &&
           (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0;
}

}  // namespace

// Page --------------------------------------------------------------------------------------

COptionsPage::COptionsPage(COptionsSheet& sheet, int templateId, std::u16string_view title)
    : sheet_(sheet), templateId_(templateId), title_(Wide(title)) {}

PROPSHEETPAGEW COptionsPage::Describe() {
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof(page);
    page.dwFlags = PSP_USETITLE;
    page.hInstance = GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(templateId_);
    page.pszTitle = title_.c_str();
    page.pfnDlgProc = &DialogProc;
    page.lParam = reinterpret_cast<LPARAM>(this);
    return page;
}

int COptionsPage::ShowMessage(UINT flags, std::u16string_view text) const {
    return MessageBoxW(sheet_.Handle() ? sheet_.Handle() : hwnd_, Wide(text).c_str(),
                       Wide(texts::kMessageBoxTitle).c_str(), flags);
}

INT_PTR CALLBACK COptionsPage::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        // Windows hands over a copy of the page's description, whose lParam names the page.
        auto* self = reinterpret_cast<COptionsPage*>(
            reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
        self->sheet_.Attach(GetParent(hwnd));
        self->OnCreate();
        return TRUE;
    }
    auto* self = reinterpret_cast<COptionsPage*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    return self->OnMessage(message, wParam, lParam);
}

INT_PTR COptionsPage::Answer(LRESULT result) {
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR COptionsPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            LRESULT result = 0;
            if (header->hwndFrom != GetParent(hwnd_))
                return OnListNotify(header, result) ? Answer(result) : FALSE;
            switch (header->code) {
                case PSN_KILLACTIVE: {
                    // Leaving the page, or OK: a refusal keeps the page and the sheet.
                    const bool ok = Validate();
                    if (!ok) sheet_.SetOpenSwitch(true);
                    return Answer(ok ? FALSE : TRUE);
                }
                case PSN_APPLY:
                    Apply();
                    return Answer(PSNRET_NOERROR);
                case PSN_QUERYCANCEL: {
                    const bool close = QueryCancel();
                    if (!close) sheet_.SetOpenSwitch(true);
                    return Answer(close ? FALSE : TRUE);
                }
                default:
                    return FALSE;
            }
        }
        default:
            return FALSE;
    }
}

// Sheet -------------------------------------------------------------------------------------

COptionsSheet::COptionsSheet(CKestromServer& server, bool hyWire)
    : server_(server), title_(Wide(texts::kOptionsTitle)) {
    for (const COptionsPageEntry& entry : OptionsPages(ShiftAndCtrlHeld(), hyWire)) {
        switch (entry.kind) {
            case COptionsPageKind::kGeneral:
                pages_.push_back(std::make_unique<COptionsGeneralPage>(*this, server_.Settings()));
                break;
            case COptionsPageKind::kDatabase:
                pages_.push_back(std::make_unique<COptionsDatabasePage>(*this, server_.Settings()));
                break;
            case COptionsPageKind::kSecurity:
                pages_.push_back(std::make_unique<COptionsSecurityPage>(
                    *this, server_.Settings(), server_.AccessList(), server_.Prompts()));
                break;
        }
    }
    // The keys are tested again, as the sheet always did. Without a listener there is
    // nothing to read and the stored values stay.
    if (ShiftAndCtrlHeld()) {
        const int send = server_.ListenerSendBufferSize();
        const int receive = server_.ListenerReceiveBufferSize();
        server_.Settings().Update(
            [&](CKestromSettings& s) { AdoptListenerBufferSizes(s, send, receive); });
    }
}

COptionsSheet::~COptionsSheet() {
    SetOpenSwitch(false);
}

void COptionsSheet::Run(HWND owner) {
    std::vector<PROPSHEETPAGEW> pages;
    for (const auto& page : pages_) pages.push_back(page->Describe());
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP;
    header.hwndParent = owner;
    header.hInstance = GetModuleHandleW(nullptr);
    header.pszCaption = title_.c_str();
    header.nPages = static_cast<UINT>(pages.size());
    // The first page added is shown first.
    header.nStartPage = 0;
    header.ppsp = pages.data();
    // Windows removes the subclass as it destroys the sheet.
    PropertySheetW(&header);
    hwnd_ = nullptr;
    SetOpenSwitch(false);
}

void COptionsSheet::Attach(HWND sheet) {
    if (hwnd_) return;
    hwnd_ = sheet;
    // Only OK and Cancel: the sheet has no Apply and no Help.
    for (int id : {kApplyButton, static_cast<int>(IDHELP)}) {
        if (HWND button = GetDlgItem(sheet, id)) ShowWindow(button, SW_HIDE);
    }
    SetWindowSubclass(sheet, &SheetProc, kSheetSubclass, reinterpret_cast<DWORD_PTR>(this));
    SetOpenSwitch(true);
}

LRESULT CALLBACK COptionsSheet::SheetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR self) {
    // OK and Cancel lower the switch before the pages act on them; closing the sheet by its
    // frame is a Cancel.
    const bool closing =
        (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) ||
        (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) || message == WM_CLOSE;
    if (closing) reinterpret_cast<COptionsSheet*>(self)->SetOpenSwitch(false);
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void COptionsSheet::SetOpenSwitch(bool open) {
    if (open == switchSet_) return;
    switchSet_ = open;
    // The sheet is modal: a prompt raised while it is open could not be answered.
    if (open)
        server_.Prompts().HoldBack(texts::kOptionsOpenHoldBack);
    else
        server_.Prompts().Release();
}

}  // namespace kestrom
