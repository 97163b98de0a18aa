#include "win32/SecurityItemDialog.h"

#include <array>
#include <utility>

#include "win32/DialogText.h"
#include "win32/resource.h"
#include "window/WindowTexts.h"

namespace kestrom {
namespace {

constexpr std::array<int, 6> kMacIds = {IDC_SI_MAC1, IDC_SI_MAC2, IDC_SI_MAC3,
                                        IDC_SI_MAC4, IDC_SI_MAC5, IDC_SI_MAC6};
constexpr std::array<int, 4> kBoxIds = {IDC_SI_ENABLE, IDC_SI_WENLOW, IDC_SI_CLERKORVO,
                                        IDC_SI_FIELDORVO};

int MacIndexOf(int id) {
    for (std::size_t i = 0; i < kMacIds.size(); ++i) {
        if (kMacIds[i] == id) return static_cast<int>(i);
    }
    return -1;
}

int BoxIndexOf(int id) {
    for (std::size_t b = 0; b < kBoxIds.size(); ++b) {
        if (kBoxIds[b] == id) return static_cast<int>(b);
    }
    return -1;
}

// The box values are Windows' own button states: BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE.
static_assert(kBoxClear == BST_UNCHECKED && kBoxTicked == BST_CHECKED &&
              kBoxIndeterminate == BST_INDETERMINATE);

class CSecurityItemDialog {
  public:
    explicit CSecurityItemDialog(CSecurityItemEditor& editor) : editor_(editor) {}

    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            auto* self = reinterpret_cast<CSecurityItemDialog*>(lParam);
            self->hwnd_ = hwnd;
            return self->OnInitDialog();
        }
        auto* self = reinterpret_cast<CSecurityItemDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (!self || message != WM_COMMAND) return FALSE;
        self->OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }

  private:
    INT_PTR OnInitDialog() {
        const std::pair<int, std::u16string_view> labels[] = {
            {IDC_SI_CLIENT_GROUP, texts::kClientInformationGroup},
            {IDC_SI_MAC_LABEL, texts::kMacLabel},
            {IDC_SI_NAME_LABEL, texts::kNameLabel},
            {IDC_SI_ACCESS_GROUP, texts::kAccessControlGroup},
            {IDC_SI_ENABLE, texts::kEnableBox},
            {IDC_SI_WENLOW, texts::kWenlow},
            {IDC_SI_CLERKORVO, texts::kClerkOrvo},
            {IDC_SI_FIELDORVO, texts::kFieldOrvo},
            {IDC_SI_QUESTION, texts::kAddQuestion},
        };
        for (const auto& [id, text] : labels) SetItemText(hwnd_, id, text);
        for (int id = IDC_SI_COLON1; id <= IDC_SI_COLON5; ++id)
            SetItemText(hwnd_, id, texts::kMacSeparator);
        for (int id : kMacIds) SendDlgItemMessageW(hwnd_, id, EM_LIMITTEXT, 2, 0);

        if (!editor_.MacAndNameEditable()) {
            for (int id : kMacIds) EnableWindow(GetDlgItem(hwnd_, id), FALSE);
            EnableWindow(GetDlgItem(hwnd_, IDC_SI_NAME), FALSE);
        }
        ShowWindow(GetDlgItem(hwnd_, IDC_SI_QUESTION), editor_.QuestionShown() ? SW_SHOW : SW_HIDE);
        UpdateOkButton();
        ShowValues();
        SetWindowTextW(hwnd_, Wide(editor_.Title()).c_str());
        const int first = editor_.FirstFocusOnName() ? IDC_SI_NAME : kMacIds[0];
        SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(hwnd_, first)),
                     TRUE);
        // A question about a client comes unasked: it is brought to the front.
        if (editor_.QuestionShown()) SetForegroundWindow(hwnd_);
        return FALSE;  // the focus is set
    }

    void OnCommand(int id, int code) {
        if (id == IDOK) {
            OnOk();
            return;
        }
        if (id == IDCANCEL) {
            EndDialog(hwnd_, IDCANCEL);
            return;
        }
        if (code == EN_CHANGE && !filling_) {
            if (const int index = MacIndexOf(id); index >= 0) {
                OnMacEdited(index);
            } else if (id == IDC_SI_NAME) {
                editor_.NameEdited(Taken());
                UpdateOkButton();
            }
            return;
        }
        if (code == BN_CLICKED) {
            if (const int box = BoxIndexOf(id); box >= 0) OnBoxClicked(box);
        }
    }

    // The values of all controls, as the editor takes them.
    CSecurityItemValues Taken() const {
        CSecurityItemValues values;
        for (std::size_t i = 0; i < kMacIds.size(); ++i)
            values.macBytes[i] = ItemText(hwnd_, kMacIds[i]);
        values.name = ItemText(hwnd_, IDC_SI_NAME);
        for (std::size_t b = 0; b < kBoxIds.size(); ++b)
            values.boxes[b] = static_cast<int>(IsDlgButtonChecked(hwnd_, kBoxIds[b]));
        return values;
    }

    // Texts the dialog puts in its own edits are no changes of the operator's.
    void SetEditText(int id, std::u16string_view text) {
        filling_ = true;
        SetItemText(hwnd_, id, text);
        filling_ = false;
    }

    void ShowValues() {
        const CSecurityItemValues& values = editor_.Values();
        for (std::size_t i = 0; i < kMacIds.size(); ++i)
            SetEditText(kMacIds[i], values.macBytes[i]);
        SetEditText(IDC_SI_NAME, values.name);
        for (std::size_t b = 0; b < kBoxIds.size(); ++b)
            CheckDlgButton(hwnd_, kBoxIds[b], static_cast<UINT>(values.boxes[b]));
        UpdateProductBoxes();
    }

    void UpdateProductBoxes() {
        for (int b = 1; b < 4; ++b)
            EnableWindow(GetDlgItem(hwnd_, kBoxIds[static_cast<std::size_t>(b)]),
                         editor_.ProductBoxUsable(b));
    }

    void UpdateOkButton() { EnableWindow(GetDlgItem(hwnd_, IDOK), editor_.OkEnabled()); }

    void OnMacEdited(int index) {
        const int id = kMacIds[static_cast<std::size_t>(index)];
        const CSecurityItemEditor::CMacEdit edit = editor_.MacEdited(index, Taken());
        if (!edit.refusal.empty()) {
            Tell(edit.refusal);
            SetEditText(id, editor_.Values().macBytes[static_cast<std::size_t>(index)]);
            SendDlgItemMessageW(hwnd_, id, EM_SETSEL, 2, 2);
            return;
        }
        UpdateOkButton();
        // Typing runs on through the six edits; the next one's text is selected, to be typed over.
        if (edit.moveFocusOn) {
            HWND next = GetDlgItem(hwnd_, kMacIds[static_cast<std::size_t>(index) + 1]);
            SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
        }
    }

    void OnBoxClicked(int box) {
        // A click never lands on indeterminate: a mixed value is kept by leaving the box
        // alone, and one click settles it to clear, after which it alternates between ticked
        // and clear.
        const int id = kBoxIds[static_cast<std::size_t>(box)];
        const bool clear = IsDlgButtonChecked(hwnd_, id) == BST_UNCHECKED;
        CheckDlgButton(hwnd_, id, clear ? BST_CHECKED : BST_UNCHECKED);
        if (editor_.BoxClicked(box, Taken())) ShowValues();
        if (box == 0) UpdateProductBoxes();
        UpdateOkButton();
    }

    void OnOk() {
        // Enter reaches the dialog as OK even while the button is disabled.
        if (!editor_.OkEnabled()) return;
        const CSecurityItemEditor::CAccept result = editor_.Accept(Taken());
        if (result.showValues) ShowValues();
        if (!result.refusal.empty()) {
            Tell(result.refusal);
            return;
        }
        EndDialog(hwnd_, IDOK);
    }

    void Tell(std::u16string_view text) {
        MessageBoxW(hwnd_, Wide(text).c_str(), Wide(texts::kMessageBoxTitle).c_str(), MB_OK);
    }

    CSecurityItemEditor& editor_;
    HWND hwnd_ = nullptr;
    bool filling_ = false;
};

}  // namespace

bool RunSecurityItemDialog(HWND owner, CSecurityItemEditor& editor) {
    CSecurityItemDialog dialog(editor);
    const INT_PTR result =
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SECURITY_ITEM), owner,
                        &CSecurityItemDialog::Proc, reinterpret_cast<LPARAM>(&dialog));
    return result == IDOK;
}

}  // namespace kestrom
