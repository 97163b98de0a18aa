#include "win32/ClientsDialog.h"

#include <commctrl.h>

#include "win32/DialogText.h"
#include "win32/resource.h"
#include "window/WindowTexts.h"

namespace kestrom {
namespace {

struct CClientsDialogInput {
    CProduct product;
    const std::vector<std::u16string>* addresses;
};

void FillList(HWND list, const std::vector<std::u16string>& addresses) {
    RECT area{};
    GetClientRect(list, &area);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    // Room for a vertical scroll bar, so a long list needs no horizontal one.
    column.cx = area.right - area.left - GetSystemMetrics(SM_CXVSCROLL);
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    for (const std::u16string& address : addresses) {
        std::wstring text = Wide(address);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = text.data();
        // The list view sorts its rows as they go in.
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
}

INT_PTR CALLBACK ClientsProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* input = reinterpret_cast<const CClientsDialogInput*>(lParam);
            const int count = static_cast<int>(input->addresses->size());
            SetWindowTextW(hwnd, Wide(ClientsDlgTitleText(input->product, count)).c_str());
            SetItemText(hwnd, IDOK, texts::kClose);
            FillList(GetDlgItem(hwnd, IDC_CLIENTS_LIST), *input->addresses);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(hwnd, IDOK);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void RunClientsDialog(HWND owner, CProduct product, const std::vector<std::u16string>& addresses) {
    CClientsDialogInput input{product, &addresses};
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CLIENTS), owner, &ClientsProc,
                    reinterpret_cast<LPARAM>(&input));
}

}  // namespace kestrom
