#include <string>

#include "base/TextConvert.h"
#include "win32/DialogText.h"
#include "win32/OptionsPages.h"
#include "win32/resource.h"
#include "window/WindowTexts.h"

namespace kestrom {
namespace {

std::u16string NumberText(int value) {
    return U16(std::to_string(value));
}

}  // namespace

COptionsGeneralPage::COptionsGeneralPage(COptionsSheet& sheet, CSharedSettings& settings)
    : COptionsPage(sheet, IDD_OPTIONS_GENERAL, texts::kGeneralPage), settings_(settings) {}

void COptionsGeneralPage::OnCreate() {
    const std::pair<int, std::u16string_view> labels[] = {
        {IDC_SEND_BUFFER_LABEL, texts::kSendBufferLabel},
        {IDC_RECEIVE_BUFFER_LABEL, texts::kReceiveBufferLabel},
        {IDC_SEND_RESET, texts::kReset},
        {IDC_RECEIVE_RESET, texts::kReset},
        {IDC_RESTART_NOTE, texts::kRestartNote},
    };
    for (const auto& [id, text] : labels) SetItemText(hwnd_, id, text);
    const CKestromSettings s = settings_.Get();
    initSend_ = s.TCPInitSendBufferSize;
    initReceive_ = s.TCPInitReceiveBufferSize;
    // The edits take only digits (ES_NUMBER); the text is still checked as an integer.
    SetItemText(hwnd_, IDC_SEND_BUFFER, NumberText(s.TCPSendBufferSize));
    SetItemText(hwnd_, IDC_RECEIVE_BUFFER, NumberText(s.TCPReceiveBufferSize));
}

void COptionsGeneralPage::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    // Each Reset first takes the other edit with its integer check, as leaving the page would;
    // on a bad text that edit is selected and nothing is reset.
    if (id == IDC_SEND_RESET && CheckInteger(IDC_RECEIVE_BUFFER))
        SetItemText(hwnd_, IDC_SEND_BUFFER, NumberText(initSend_));
    if (id == IDC_RECEIVE_RESET && CheckInteger(IDC_SEND_BUFFER))
        SetItemText(hwnd_, IDC_RECEIVE_BUFFER, NumberText(initReceive_));
}

bool COptionsGeneralPage::CheckInteger(int editId) const {
    if (ReadIntegerText(ItemText(hwnd_, editId))) return true;
    ShowMessage(MB_OK | MB_ICONWARNING, texts::kNotAnInteger);
    // WM_NEXTDLGCTL moves the focus as the dialog manager does, default button included.
    SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(editId)), TRUE);
    SendMessageW(Item(editId), EM_SETSEL, 0, -1);
    return false;
}

bool COptionsGeneralPage::Validate() {
    return CheckInteger(IDC_SEND_BUFFER) && CheckInteger(IDC_RECEIVE_BUFFER);
}

void COptionsGeneralPage::Apply() {
    // Both were checked as the page was left or confirmed.
    const int send = ReadIntegerText(ItemText(hwnd_, IDC_SEND_BUFFER)).value_or(0);
    const int receive = ReadIntegerText(ItemText(hwnd_, IDC_RECEIVE_BUFFER)).value_or(0);
    // Used when the listener is next created, that is after a restart.
    settings_.Update([&](CKestromSettings& s) {
        s.TCPSendBufferSize = send;
        s.TCPReceiveBufferSize = receive;
    });
}

}  // namespace kestrom
