// kestrom.exe's options sheet driven from outside: its pages, the code set reaching the wire,
// and the access list edited on the security page and saved to KestromMAC.dat.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/SettingsStore.h"
#include "security/AccessListStorage.h"
#include "security/MacLookup.h"
#include "support/access_entry.h"
#include "support/wire_bytes.h"
#include "tools/ClientConnection.h"
#include "win32/window_driver.h"
#include "window/Colour.h"
#include "window/Menus.h"
#include "window/OptionsRules.h"

using namespace kestrom;
using namespace kestrom::client;
using namespace kestrom::testing;
using namespace kestrom::testing::win32;

namespace {

constexpr int kApplyButton = 0x3021;

void OpenOptions(HWND window) {
    PostMessageW(window, WM_COMMAND, IDM_COMMAND_BASE + static_cast<int>(CWindowCommand::kOptions),
                 0);
}

HWND CurrentPage(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

// The sheet opened from the File menu with its Security tab shown; null when none came.
HWND OpenSecurityPage(const CRunningWindow& program, HWND& page) {
    OpenOptions(program.Window());
    HWND sheet = WaitForProgramDialog(program.ProcessId(), Wide(texts::kOptionsTitle));
    if (!sheet) return nullptr;
    SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
    page = CurrentPage(sheet);
    return sheet;
}

// The page dialogs Windows has created so far.
int CreatedPages(HWND sheet) {
    int count = 0;
    for (HWND w = FindWindowExW(sheet, nullptr, L"#32770", nullptr); w;
         w = FindWindowExW(sheet, w, L"#32770", nullptr))
        ++count;
    return count;
}

// Posted, not sent: the command opens a modal box and would not return until it closes.
void Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

bool Closed(HWND window) {
    return WaitUntil([&] { return !IsWindow(window); }, 5s);
}

COLORREF Colour(CRgb c) {
    return RGB(c.red, c.green, c.blue);
}

// For the manual: the window painted whole, frame and controls, before it is captured.
void Screenshot(HWND window, const char* name) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    SaveScreenshot(window, name);
}

// A row's background, read on the screen at the right edge of its centred Name cell.
COLORREF RowBackground(HWND list, DWORD processId, int row) {
    const RECT cell = ListViewCellOnScreen(list, processId, row, 1);
    return ScreenPixel(cell.right - 4, (cell.top + cell.bottom) / 2);
}

std::string ConfigFile(const CSandbox& sandbox, const std::string& name) {
    return sandbox.File("config/" + name);
}

// KestromMAC.dat in the config folder, read as the program reads it.
std::vector<CAccessControlItem> SavedList(const CSandbox& sandbox) {
    CAccessControlList list;
    list.SetStoragePath(FromUtf8(ConfigFile(sandbox, "KestromMAC.dat")));
    EXPECT_TRUE(LoadAccessList(list));
    return list.Snapshot();
}

// The log holds `text` in one of its newest rows.
bool Logged(HWND window, std::u16string_view text) {
    const std::wstring wanted = Wide(text.substr(0, 40));
    for (int row = 0; row < 20; ++row)
        if (LogRow(window, row).find(wanted) != std::wstring::npos) return true;
    return false;
}

// A hardware address for the loopback peer 127.0.0.2, for the program started meanwhile.
class CArpTable {
  public:
    explicit CArpTable(const CSandbox& sandbox) {
        sandbox.Put("arp",
                    "IP address       HW type     Flags       HW address            Mask     "
                    "Device\n"
                    "127.0.0.2        0x1         0x2         02:00:00:00:00:02     *        lo\n");
        SetEnvironmentVariableA(kArpTableEnvironment, WindowsPath(sandbox.File("arp")).c_str());
    }
    ~CArpTable() { SetEnvironmentVariableA(kArpTableEnvironment, nullptr); }
    CArpTable(const CArpTable&) = delete;
    CArpTable& operator=(const CArpTable&) = delete;
};

}  // namespace

TEST(Win32Options, OpensOnDatabaseAndTheUnicodeCodeSetReachesTheWire) {
    CSandbox sandbox;
    CRunningWindow program(sandbox);
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);

    OpenOptions(window);
    HWND sheet = WaitForProgramDialog(program.ProcessId(), Wide(texts::kOptionsTitle));
    ASSERT_NE(sheet, nullptr) << "no sheet titled Options";
    // Without Shift and Ctrl: Database first, Security after it, no General page.
    HWND tab = FindWindowExW(sheet, nullptr, WC_TABCONTROLW, nullptr);
    ASSERT_NE(tab, nullptr);
    ASSERT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(TabTitle(tab, program.ProcessId(), 0), Wide(texts::kDatabasePage));
    EXPECT_EQ(TabTitle(tab, program.ProcessId(), 1), Wide(texts::kSecurityPage));
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 0);
    HWND page = CurrentPage(sheet);
    ASSERT_NE(GetDlgItem(page, IDC_SINGLE_BYTE), nullptr);
    EXPECT_EQ(ItemText(page, IDC_UNICODE), Wide(texts::kUnicode));
    EXPECT_EQ(IsDlgButtonChecked(page, IDC_SINGLE_BYTE), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(page, IDC_UNICODE), BST_UNCHECKED);
    // The security page is made only when it is first shown.
    EXPECT_EQ(CreatedPages(sheet), 1);
    // Only OK and Cancel.
    for (int hidden : {kApplyButton, static_cast<int>(IDHELP)}) {
        HWND button = GetDlgItem(sheet, hidden);
        EXPECT_TRUE(button == nullptr || !IsWindowVisible(button)) << "button " << hidden;
    }
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(sheet, IDOK)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(sheet, IDCANCEL)));

    SendDlgItemMessageW(page, IDC_UNICODE, BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(page, IDC_UNICODE), BST_CHECKED);
    Press(sheet, IDOK);
    ASSERT_TRUE(Closed(sheet));

    // The next message is read and answered two bytes a character.
    const std::string singleByte = ReplyBytes("HMM");
    ASSERT_EQ(singleByte, kVersionReply);
    auto client = CClientConnection::Connect("127.0.0.1", program.Port(), WireMode::kUnicode);
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->SendText(BuildRequest(u"HAL")));
    const auto reply = client->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, ReplyBytes("HMM", {}, WireMode::kUnicode));
    EXPECT_NE(reply->bytes, singleByte);
    client.reset();

    // The code set is kept with the settings when the program closes.
    EXPECT_EQ(program.Close(), 0);
    CKestromSettings saved;
    CSettingsStore(program.SettingsFile()).Load(saved, std::nullopt, std::nullopt);
    EXPECT_EQ(saved.CharMode, 1);
}

TEST(Win32Options, TheSecurityPageAddsAnEntryThatOkSavesToTheStorageFile) {
    CSandbox sandbox;
    CRunningWindow program(sandbox);
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);
    const DWORD pid = program.ProcessId();

    HWND page = nullptr;
    HWND sheet = OpenSecurityPage(program, page);
    ASSERT_NE(sheet, nullptr);
    ASSERT_NE(GetDlgItem(page, IDC_ACCESS_LIST), nullptr);
    HWND list = GetDlgItem(page, IDC_ACCESS_LIST);
    EXPECT_EQ(ItemText(page, IDC_ENABLE_SECURITY), Wide(texts::kEnableSecurity));

    // Security starts off: only "Enable Security" can be used.
    EXPECT_EQ(IsDlgButtonChecked(page, IDC_ENABLE_SECURITY), BST_UNCHECKED);
    for (int id : {IDC_ACCESS_ADD, IDC_ACCESS_DELETE, IDC_ACCESS_UPDATE, IDC_ACCESS_LIST,
                   IDC_WENLOW_SECURITY, IDC_PROMPT_CLIENTS})
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, id))) << "control " << id;
    // Ticking it opens the list, the boxes, "&Add" and "&Update" (with no row selected),
    // but not "&Delete".
    SendDlgItemMessageW(page, IDC_ENABLE_SECURITY, BM_CLICK, 0, 0);
    for (int id : {IDC_ACCESS_ADD, IDC_ACCESS_UPDATE, IDC_ACCESS_LIST, IDC_WENLOW_SECURITY,
                   IDC_CLERKORVO_SECURITY, IDC_FIELDORVO_SECURITY, IDC_PROMPT_CLIENTS})
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, id))) << "control " << id;
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_ACCESS_DELETE)));
    // The product boxes start ticked; with ClerkOrvo's cleared, its permission is not offered.
    EXPECT_EQ(IsDlgButtonChecked(page, IDC_WENLOW_SECURITY), BST_CHECKED);
    SendDlgItemMessageW(page, IDC_CLERKORVO_SECURITY, BM_CLICK, 0, 0);

    // Six columns: the MAC address and the name a quarter of the list each, the rest an eighth,
    // and no scroll bar.
    RECT area{};
    GetClientRect(list, &area);
    const int width = area.right - area.left;
    const auto titles = SecurityColumnTitles();
    for (int column = 0; column < kSecurityColumns; ++column) {
        EXPECT_EQ(ListViewColumnTitle(list, pid, column),
                  Wide(titles[static_cast<std::size_t>(column)]));
        EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0),
                  column < 2 ? width / 4 : width / 8)
            << "column " << column;
    }
    EXPECT_EQ(ListViewColumnTitle(list, pid, kSecurityColumns), L"");
    EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & WS_HSCROLL, 0);

    PostMessageW(GetDlgItem(page, IDC_ACCESS_ADD), BM_CLICK, 0, 0);
    HWND editor = WaitForProgramDialog(pid, Wide(texts::kAddMacTitle));
    ASSERT_NE(editor, nullptr) << "no entry dialog";
    // One character in the first byte: refused at OK with its message, the dialog stays.
    SetDlgItemTextW(editor, IDC_SI_MAC1, L"0");
    Press(editor, IDOK);
    HWND box = WaitForProgramDialog(pid, Wide(texts::kMessageBoxTitle));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), Wide(texts::kIncompleteMac));
    Press(box, IDOK);
    ASSERT_TRUE(Closed(box));
    EXPECT_TRUE(IsWindow(editor));

    const wchar_t* bytes[] = {L"00", L"1a", L"2b", L"3c", L"4d", L"5e"};
    for (int i = 0; i < 6; ++i) SetDlgItemTextW(editor, IDC_SI_MAC1 + i, bytes[i]);
    SetDlgItemTextW(editor, IDC_SI_NAME, L"Pit");
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(editor, IDC_SI_WENLOW)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(editor, IDC_SI_CLERKORVO)));
    SendDlgItemMessageW(editor, IDC_SI_WENLOW, BM_CLICK, 0, 0);
    Screenshot(editor, "windows-editor.png");
    Press(editor, IDOK);
    ASSERT_TRUE(Closed(editor));

    // The new row: upper-cased address, name, enabled, Wenlow allowed, the others not.
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
    const std::wstring yes = Wide(texts::kYes), no = Wide(texts::kNo);
    const std::wstring expected[] = {L"00:1A:2B:3C:4D:5E", L"Pit", yes, yes, no, no};
    for (int column = 0; column < kSecurityColumns; ++column)
        EXPECT_EQ(ListViewCell(list, pid, 0, column), expected[column]) << "column " << column;
    // An enabled entry with security on is drawn on white; no row is selected after a fill.
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_ACCESS_DELETE)));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return RowBackground(list, pid, 0) == Colour(CRgb{255, 255, 255});
        },
        2s));
    Screenshot(sheet, "windows-options.png");

    Press(sheet, IDOK);
    ASSERT_TRUE(Closed(sheet));
    // Saved at once, before the program closes.
    const std::vector<CAccessControlItem> saved = SavedList(sandbox);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0], Entry(u"00:1A:2B:3C:4D:5E", u"Pit", 1, 1, 0, 0));

    EXPECT_EQ(program.Close(), 0);
    CKestromSettings settings;
    CSettingsStore(program.SettingsFile()).Load(settings, std::nullopt, std::nullopt);
    EXPECT_TRUE(settings.SecurityEnabled);
    EXPECT_TRUE(settings.WenlowSecurityEnabled);
    EXPECT_FALSE(settings.ClerkOrvoSecurityEnabled);
    EXPECT_TRUE(settings.FieldOrvoSecurityEnabled);
}

TEST(Win32Options, CancelAfterADeletionAsksAndCancelAfterTickingBoxesDoesNot) {
    CSandbox sandbox;
    std::filesystem::create_directories(U8Path(sandbox.File("config")));
    const std::vector<CAccessControlItem> entries = {
        Entry(u"00:1A:2B:3C:4D:01", u"Pit", 1, 1, 1, 1),
        Entry(u"00:1A:2B:3C:4D:02", u"Gate", 0, 1, 0, 0),
        Entry(u"00:1A:2B:3C:4D:03", u"Desk", 1, 0, 0, 0),
    };
    {
        CAccessControlList list;
        list.SetStoragePath(FromUtf8(ConfigFile(sandbox, "KestromMAC.dat")));
        list.ReplaceAll(entries);
        ASSERT_TRUE(SaveAccessList(list));
    }
    CRunningWindow program(sandbox);
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);
    const DWORD pid = program.ProcessId();

    HWND page = nullptr;
    HWND sheet = OpenSecurityPage(program, page);
    ASSERT_NE(sheet, nullptr);
    HWND list = GetDlgItem(page, IDC_ACCESS_LIST);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    // Security off: every row grey. Ticking it turns the enabled entries' rows white.
    const COLORREF grey = Colour(kInactiveRowColour), white = Colour(CRgb{255, 255, 255});
    EXPECT_TRUE(WaitUntil([&] { return RowBackground(list, pid, 0) == grey; }, 2s));
    EXPECT_EQ(RowBackground(list, pid, 1), grey);
    SendDlgItemMessageW(page, IDC_ENABLE_SECURITY, BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return RowBackground(list, pid, 0) == white; }, 2s));
    EXPECT_EQ(RowBackground(list, pid, 1), grey);
    EXPECT_EQ(RowBackground(list, pid, 2), white);
    // A product shows "Yes" only for an enabled entry that allows it.
    EXPECT_EQ(ListViewCell(list, pid, 0, 3), Wide(texts::kYes));
    EXPECT_EQ(ListViewCell(list, pid, 1, 2), Wide(texts::kNo));
    EXPECT_EQ(ListViewCell(list, pid, 1, 3), Wide(texts::kNo));
    EXPECT_EQ(ListViewCell(list, pid, 2, 3), Wide(texts::kNo));

    // Rows 0 and 2 deleted after the question: the middle entry is left.
    SelectListViewRow(list, pid, 0);
    SelectListViewRow(list, pid, 2);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_ACCESS_DELETE)));
    PostMessageW(GetDlgItem(page, IDC_ACCESS_DELETE), BM_CLICK, 0, 0);
    HWND box = WaitForProgramDialog(pid, Wide(texts::kMessageBoxTitle));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), Wide(texts::kConfirmDelete));
    Press(box, IDYES);
    ASSERT_TRUE(Closed(box));
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(ListViewCell(list, pid, 0, 0), L"00:1A:2B:3C:4D:02");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_ACCESS_DELETE)));
    // The row left still names its own entry: "&Update" opens the dialog on it.
    SelectListViewRow(list, pid, 0);
    PostMessageW(GetDlgItem(page, IDC_ACCESS_UPDATE), BM_CLICK, 0, 0);
    HWND editor = WaitForProgramDialog(pid, Wide(texts::kUpdateClientTitle));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(ItemText(editor, IDC_SI_MAC6), L"02");
    EXPECT_EQ(ItemText(editor, IDC_SI_NAME), L"Gate");
    Press(editor, IDCANCEL);
    ASSERT_TRUE(Closed(editor));
    // A double click with no row selected asks for one.
    SelectListViewRow(list, pid, 0, false);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_ACCESS_UPDATE)));
    RECT inside{};
    GetClientRect(list, &inside);
    PostMessageW(list, WM_LBUTTONDBLCLK, 0, MAKELPARAM(inside.right / 2, inside.bottom - 4));
    box = WaitForProgramDialog(pid, Wide(texts::kMessageBoxTitle));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), Wide(texts::kSelectAnItem));
    Press(box, IDOK);
    ASSERT_TRUE(Closed(box));

    // Cancel asks; No keeps the sheet, Yes closes it and the file keeps all three entries.
    Press(sheet, IDCANCEL);
    box = WaitForProgramDialog(pid, Wide(texts::kMessageBoxTitle));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), Wide(texts::kCancelSecurityChanges));
    Press(box, IDNO);
    ASSERT_TRUE(Closed(box));
    EXPECT_TRUE(IsWindow(sheet));
    // Closing the sheet by its frame is a Cancel and asks too.
    PostMessageW(sheet, WM_CLOSE, 0, 0);
    box = WaitForProgramDialog(pid, Wide(texts::kMessageBoxTitle));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), Wide(texts::kCancelSecurityChanges));
    Press(box, IDYES);
    ASSERT_TRUE(Closed(sheet));
    EXPECT_EQ(SavedList(sandbox), entries);

    // Only boxes ticked: Cancel closes without a question.
    sheet = OpenSecurityPage(program, page);
    ASSERT_NE(sheet, nullptr);
    SendDlgItemMessageW(page, IDC_ENABLE_SECURITY, BM_CLICK, 0, 0);
    SendDlgItemMessageW(page, IDC_WENLOW_SECURITY, BM_CLICK, 0, 0);
    Press(sheet, IDCANCEL);
    EXPECT_TRUE(Closed(sheet));
    EXPECT_EQ(program.Close(), 0);
    CKestromSettings settings;
    CSettingsStore(program.SettingsFile()).Load(settings, std::nullopt, std::nullopt);
    EXPECT_FALSE(settings.SecurityEnabled);
}

TEST(Win32Options, WhileTheSheetShowsAnUnknownClientIsNotPutToTheOperator) {
    CSandbox sandbox;
    CArpTable arp(sandbox);
    CRunningWindow program(sandbox);
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);
    const DWORD pid = program.ProcessId();

    // Security and prompting turned on through the sheet itself.
    HWND page = nullptr;
    HWND sheet = OpenSecurityPage(program, page);
    ASSERT_NE(sheet, nullptr);
    SendDlgItemMessageW(page, IDC_ENABLE_SECURITY, BM_CLICK, 0, 0);
    SendDlgItemMessageW(page, IDC_PROMPT_CLIENTS, BM_CLICK, 0, 0);
    ASSERT_EQ(IsDlgButtonChecked(page, IDC_WENLOW_SECURITY), BST_CHECKED);
    Press(sheet, IDOK);
    ASSERT_TRUE(Closed(sheet));

    // With the sheet open again, the unknown client is refused and the reason logged.
    OpenOptions(window);
    sheet = WaitForProgramDialog(pid, Wide(texts::kOptionsTitle));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(IsDlgButtonChecked(CurrentPage(sheet), IDC_SINGLE_BYTE), BST_CHECKED);
    auto client = CClientConnection::Connect("127.0.0.1", program.Port(), WireMode::kSingleByte, 5s,
                                             "127.0.0.2");
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->SendText(BuildRequest(u"HAL")));
    auto reply = client->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, ReplyBytes("TCC"));
    EXPECT_TRUE(WaitUntil([&] { return Logged(window, texts::kOptionsOpenHoldBack); }, 5s));
    EXPECT_EQ(FindProgramDialog(pid, Wide(texts::kAddMacTitle)), nullptr);

    // Once it is closed, the client's next message is put to the operator.
    Press(sheet, IDCANCEL);
    ASSERT_TRUE(Closed(sheet));
    ASSERT_TRUE(client->SendText(BuildRequest(u"HAL")));
    reply = client->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, ReplyBytes("TCC"));
    HWND prompt = WaitForProgramDialog(pid, Wide(texts::kAddMacTitle));
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(ItemText(prompt, IDC_SI_MAC6), L"02");
    Press(prompt, IDCANCEL);
    EXPECT_TRUE(Closed(prompt));
    client.reset();
    EXPECT_EQ(program.Close(), 0);
}
