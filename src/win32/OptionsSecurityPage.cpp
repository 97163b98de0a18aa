#include <algorithm>
#include <utility>

#include "security/AccessListStorage.h"
#include "win32/DialogText.h"
#include "win32/OptionsPages.h"
#include "win32/SecurityItemDialog.h"
#include "win32/resource.h"
#include "window/SecurityItemEditor.h"
#include "window/WindowTexts.h"

namespace kestrom {
namespace {

COLORREF ColourOf(CRgb c) {
    return RGB(c.red, c.green, c.blue);
}

// The product switches and the prompt switch follow "Enable Security".
constexpr int kFollowSecurity[] = {IDC_WENLOW_SECURITY, IDC_CLERKORVO_SECURITY,
                                   IDC_FIELDORVO_SECURITY, IDC_PROMPT_CLIENTS, IDC_ACCESS_LIST};

}  // namespace

COptionsSecurityPage::COptionsSecurityPage(COptionsSheet& sheet, CSharedSettings& settings,
                                           CAccessControlList& accessList, CPromptPolicy& prompts)
    : COptionsPage(sheet, IDD_OPTIONS_SECURITY, texts::kSecurityPage),
      settings_(settings),
      accessList_(accessList),
      prompts_(prompts) {}

void COptionsSecurityPage::OnCreate() {
    const std::pair<int, std::u16string_view> labels[] = {
        {IDC_ENABLE_SECURITY, texts::kEnableSecurity},
        {IDC_WENLOW_SECURITY, texts::kEnableWenlowSecurity},
        {IDC_CLERKORVO_SECURITY, texts::kEnableClerkOrvoSecurity},
        {IDC_FIELDORVO_SECURITY, texts::kEnableFieldOrvoSecurity},
        {IDC_PROMPT_CLIENTS, texts::kPromptForClients},
        {IDC_ACCESS_LIST_LABEL, texts::kAccessListLabel},
        {IDC_ACCESS_ADD, texts::kAddButton},
        {IDC_ACCESS_DELETE, texts::kDeleteButton},
        {IDC_ACCESS_UPDATE, texts::kUpdateButton},
    };
    for (const auto& [id, text] : labels) SetItemText(hwnd_, id, text);

    working_ = accessList_.Snapshot();
    ListView_SetExtendedListViewStyle(Item(IDC_ACCESS_LIST), LVS_EX_FULLROWSELECT);
    values_ = SecuritySwitchesOf(settings_.Get(), prompts_.Enabled());
    ShowValues();
    for (int id : kFollowSecurity) EnableWindow(Item(id), values_.security);
    EnableWindow(Item(IDC_ACCESS_ADD), values_.security);
    EnableWindow(Item(IDC_ACCESS_DELETE), FALSE);
    EnableWindow(Item(IDC_ACCESS_UPDATE), FALSE);
    CreateColumns();
    Fill();
}

void COptionsSecurityPage::TakeValues() {
    values_ = {IsChecked(IDC_ENABLE_SECURITY), IsChecked(IDC_WENLOW_SECURITY),
               IsChecked(IDC_CLERKORVO_SECURITY), IsChecked(IDC_FIELDORVO_SECURITY),
               IsChecked(IDC_PROMPT_CLIENTS)};
}

void COptionsSecurityPage::ShowValues() {
    Check(IDC_ENABLE_SECURITY, values_.security);
    Check(IDC_WENLOW_SECURITY, values_.wenlow);
    Check(IDC_CLERKORVO_SECURITY, values_.clerkOrvo);
    Check(IDC_FIELDORVO_SECURITY, values_.fieldOrvo);
    Check(IDC_PROMPT_CLIENTS, values_.prompt);
}

void COptionsSecurityPage::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    switch (id) {
        case IDC_ENABLE_SECURITY:
            OnSecurityClicked();
            break;
        case IDC_ACCESS_ADD:
            OnAdd();
            break;
        case IDC_ACCESS_DELETE:
            OnDelete();
            break;
        case IDC_ACCESS_UPDATE:
            OnUpdate();
            break;
        default:
            break;
    }
}

void COptionsSecurityPage::OnSecurityClicked() {
    TakeValues();
    // "&Delete" keeps its state: it follows the selection only.
    for (int id : kFollowSecurity) EnableWindow(Item(id), values_.security);
    EnableWindow(Item(IDC_ACCESS_ADD), values_.security);
    EnableWindow(Item(IDC_ACCESS_UPDATE), values_.security);
    Recolour();
}

bool COptionsSecurityPage::OnListNotify(NMHDR* header, LRESULT& result) {
    if (header->idFrom != IDC_ACCESS_LIST) return false;
    switch (header->code) {
        case NM_CUSTOMDRAW:
            result = OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(header));
            return true;
        case LVN_ITEMCHANGED:
            if (!changingList_ &&
                (reinterpret_cast<NMLISTVIEW*>(header)->uChanged & LVIF_STATE) != 0)
                OnSelectionChanged();
            return true;
        case NM_DBLCLK:
            // A double click anywhere in the list, on a row or not, is "&Update".
            OnUpdate();
            return true;
        default:
            return false;
    }
}

void COptionsSecurityPage::OnSelectionChanged() {
    const bool any = ListView_GetSelectedCount(Item(IDC_ACCESS_LIST)) > 0;
    EnableWindow(Item(IDC_ACCESS_DELETE), any);
    EnableWindow(Item(IDC_ACCESS_UPDATE), any);
}

LRESULT COptionsSecurityPage::OnCustomDraw(NMLVCUSTOMDRAW& draw) const {
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
            if (row >= rows_.size() || draw.iSubItem < 0 || draw.iSubItem >= kSecurityColumns)
                return CDRF_DODEFAULT;
            draw.clrText =
                ColourOf(rows_[row].textColours[static_cast<std::size_t>(draw.iSubItem)]);
            draw.clrTextBk = ColourOf(rows_[row].background);
            return CDRF_NEWFONT;
        }
        default:
            return CDRF_DODEFAULT;
    }
}

void COptionsSecurityPage::CreateColumns() {
    HWND list = Item(IDC_ACCESS_LIST);
    // The width inside the border, as the Qt list takes it, so no scroll bar is needed.
    RECT area{};
    GetClientRect(list, &area);
    const int width = area.right - area.left;
    int column = 0;
    for (std::u16string_view title : SecurityColumnTitles()) {
        std::wstring text = Wide(title);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        // The MAC address is left-aligned, every other column centred.
        col.fmt = column == 0 ? LVCFMT_LEFT : LVCFMT_CENTER;
        col.cx = column < 2 ? width / 4 : width / 8;
        col.pszText = text.data();
        col.iSubItem = column;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&col));
        ++column;
    }
}

void COptionsSecurityPage::Fill() {
    HWND list = Item(IDC_ACCESS_LIST);
    changingList_ = true;
    ListView_DeleteAllItems(list);
    rows_.clear();
    for (std::size_t i = 0; i < working_.size(); ++i) {
        CSecurityRow shown = SecurityRowOf(working_[i], values_);
        std::wstring text = Wide(shown.texts[0]);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = text.data();
        item.lParam = static_cast<LPARAM>(i);
        const auto row = static_cast<WPARAM>(
            SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        for (int column = 1; column < kSecurityColumns; ++column) {
            std::wstring cell = Wide(shown.texts[static_cast<std::size_t>(column)]);
            LVITEMW sub{};
            sub.iSubItem = column;
            sub.pszText = cell.data();
            SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
        }
        rows_.push_back(std::move(shown));
    }
    changingList_ = false;
    Recolour();
}

void COptionsSecurityPage::Recolour() {
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        const int entry = EntryOfRow(static_cast<int>(row));
        const bool known = entry >= 0 && static_cast<std::size_t>(entry) < working_.size();
        rows_[row].background =
            known ? SecurityRowBackground(working_[static_cast<std::size_t>(entry)], values_)
                  : kInactiveRowColour;
    }
    InvalidateRect(Item(IDC_ACCESS_LIST), nullptr, TRUE);
}

int COptionsSecurityPage::EntryOfRow(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(Item(IDC_ACCESS_LIST), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return -1;
    return static_cast<int>(item.lParam);
}

void COptionsSecurityPage::SetEntryOfRow(int row, int entry) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = entry;
    SendMessageW(Item(IDC_ACCESS_LIST), LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

std::vector<int> COptionsSecurityPage::SelectedRows() const {
    std::vector<int> rows;
    HWND list = Item(IDC_ACCESS_LIST);
    for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list, row, LVNI_SELECTED))
        rows.push_back(row);
    return rows;
}

void COptionsSecurityPage::EditEntries(std::vector<int> selection) {
    CSecurityItemEditor editor(working_, std::move(selection),
                               {values_.wenlow, values_.clerkOrvo, values_.fieldOrvo}, false);
    if (!RunSecurityItemDialog(GetParent(hwnd_), editor)) return;
    working_ = editor.List();
    Fill();
    // No row is selected after a fill.
    EnableWindow(Item(IDC_ACCESS_DELETE), FALSE);
    EnableWindow(Item(IDC_ACCESS_UPDATE), FALSE);
}

void COptionsSecurityPage::OnAdd() {
    TakeValues();
    EditEntries({});
}

void COptionsSecurityPage::OnUpdate() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        ShowMessage(MB_OK, texts::kSelectAnItem);
        return;
    }
    TakeValues();
    std::vector<int> selection;
    for (int row : rows) selection.push_back(EntryOfRow(row));
    EditEntries(std::move(selection));
}

void COptionsSecurityPage::OnDelete() {
    const std::vector<int> rows = SelectedRows();
    if (!rows.empty() && ShowMessage(MB_YESNO | MB_ICONQUESTION, texts::kConfirmDelete) != IDYES)
        return;
    TakeValues();
    EnableWindow(Item(IDC_ACCESS_DELETE), FALSE);
    // Rows and working list stay in step.
    std::vector<int> rowEntries;
    for (std::size_t row = 0; row < rows_.size(); ++row)
        rowEntries.push_back(EntryOfRow(static_cast<int>(row)));
    const std::vector<int> left = DeleteSecurityRows(working_, rowEntries, rows);
    // "&Update" keeps its state; only "&Delete" was turned off.
    changingList_ = true;
    HWND list = Item(IDC_ACCESS_LIST);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        ListView_DeleteItem(list, *it);
        rows_.erase(rows_.begin() + *it);
    }
    for (std::size_t row = 0; row < left.size(); ++row)
        SetEntryOfRow(static_cast<int>(row), left[row]);
    changingList_ = false;
    ShowValues();
}

void COptionsSecurityPage::Apply() {
    TakeValues();
    accessList_.ReplaceAll(working_);
    settings_.Update([&](CKestromSettings& s) { StoreSecuritySwitches(s, values_); });
    prompts_.SetEnabled(values_.prompt);
    // The settings and the list are changed whether or not the file could be written.
    const CStatus saved = SaveAccessList(accessList_);
    if (!saved) ShowMessage(MB_OK | MB_ICONWARNING, saved.Detail());
}

bool COptionsSecurityPage::QueryCancel() {
    if (!CancelNeedsQuestion(working_, accessList_.Snapshot())) return true;
    return ShowMessage(MB_YESNO | MB_ICONQUESTION, texts::kCancelSecurityChanges) == IDYES;
}

}  // namespace kestrom
