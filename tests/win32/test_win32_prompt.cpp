// kestrom.exe driven from outside: with security on, the question about an unknown client in
// the entry dialog, the dialog's checks of the operator's typing and the client lists; the
// balloon for results received.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/SettingsStore.h"
#include "base/WholeFile.h"
#include "security/AccessListFormat.h"
#include "security/MacLookup.h"
#include "security/PromptPolicy.h"
#include "tools/ClientConnection.h"
#include "win32/window_driver.h"
#include "window/Menus.h"
#include "wire/Records.h"
#include "wire/WireChars.h"

using namespace kestrom;
using namespace kestrom::client;
using namespace kestrom::testing::win32;

namespace {

// Loopback peers other than 127.0.0.1 get hardware addresses; 127.0.0.1 itself is let in
// without a check.
constexpr const char* kArpTable =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "127.0.0.2        0x1         0x2         02:00:00:00:00:02     *        lo\n"
    "127.0.0.3        0x1         0x2         02:00:00:00:00:03     *        lo\n";

const std::string kRefusal = "\x01TCC,PSZ=3\x02\x03\x04";

// Security and Wenlow security on in the settings, prompting on for the run, and the ARP
// table, all before the program starts; the environment is put back afterwards.
class CSecuredStart {
  public:
    explicit CSecuredStart(const CSandbox& sandbox) : configDir_(sandbox.File("config")) {
        std::filesystem::create_directories(configDir_);
        // Saving needs the key, which loading creates.
        CSettingsStore store(configDir_ + "/settings.reg");
        CKestromSettings settings;
        store.Load(settings, std::nullopt, std::nullopt);
        settings.LogEvents = true;
        settings.SecurityEnabled = true;
        settings.WenlowSecurityEnabled = true;
        store.Save(settings);
        sandbox.Put("arp", kArpTable);
        SetEnvironmentVariableA(kArpTableEnvironment, WindowsPath(sandbox.File("arp")).c_str());
        SetEnvironmentVariableA(kPromptForClientsEnvironment, "1");
    }
    ~CSecuredStart() {
        SetEnvironmentVariableA(kArpTableEnvironment, nullptr);
        SetEnvironmentVariableA(kPromptForClientsEnvironment, nullptr);
    }
    CSecuredStart(const CSecuredStart&) = delete;
    CSecuredStart& operator=(const CSecuredStart&) = delete;

    std::vector<CAccessControlItem> SavedList() const {
        const auto bytes = ReadWholeFile(configDir_ + "/KestromMAC.dat");
        if (!bytes) return {};
        return ParseAccessList(*bytes).items;
    }

  private:
    std::string configDir_;
};

std::unique_ptr<CClientConnection> ClientFrom(const CRunningWindow& program,
                                              const std::string& host) {
    return CClientConnection::Connect("127.0.0.1", program.Port(), WireMode::kSingleByte, 5s, host);
}

std::string ReplyTo(CClientConnection& client, std::u16string_view code) {
    if (!client.SendText(BuildRequest(code))) return "<not sent>";
    const auto reply = client.ReceiveReply();
    return reply ? reply->bytes : "<no reply>";
}

bool LogHas(HWND window, const std::string& line) {
    for (int row = 0; row < 20; ++row) {
        if (LogRow(window, row).find(Wide(line)) != std::wstring::npos) return true;
    }
    return false;
}

bool Checked(HWND dialog, int id) {
    return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Click(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

}  // namespace

TEST(Win32Prompt, AnUnknownClientAddedAtThePromptIsSavedServedAndListed) {
    CSandbox sandbox;
    CSecuredStart secured(sandbox);
    CRunningWindow program(sandbox);
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);

    // The message that raises the question is refused whatever the answer.
    auto client = ClientFrom(program, "127.0.0.2");
    ASSERT_TRUE(client);
    EXPECT_EQ(ReplyTo(*client, u"HAL"), kRefusal);
    HWND prompt = WaitForProgramDialog(program.ProcessId(), Wide(texts::kAddMacTitle), window);
    ASSERT_NE(prompt, nullptr);

    // The client's address in the byte edits, the question shown, OK usable, the name to type.
    const wchar_t* bytes[] = {L"02", L"00", L"00", L"00", L"00", L"02"};
    const int macIds[] = {IDC_SI_MAC1, IDC_SI_MAC2, IDC_SI_MAC3,
                          IDC_SI_MAC4, IDC_SI_MAC5, IDC_SI_MAC6};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ItemText(prompt, macIds[i]), bytes[i]) << "byte " << i;
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(prompt, IDC_SI_QUESTION)));
    EXPECT_EQ(ItemText(prompt, IDC_SI_QUESTION), Wide(texts::kAddQuestion));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(prompt, IDOK)));
    EXPECT_EQ(FocusOf(prompt), GetDlgItem(prompt, IDC_SI_NAME));
    // A new client's boxes are clear, and the product boxes wait for "Enable".
    EXPECT_FALSE(Checked(prompt, IDC_SI_ENABLE));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(prompt, IDC_SI_WENLOW)));

    TypeInto(GetDlgItem(prompt, IDC_SI_NAME), L"Pit lane");
    EXPECT_TRUE(WaitUntil([&] { return ItemText(prompt, IDC_SI_NAME) == L"Pit lane"; }, 5s));
    Click(prompt, IDC_SI_ENABLE);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(prompt, IDC_SI_WENLOW)); }, 5s));
    Click(prompt, IDC_SI_WENLOW);
    EXPECT_TRUE(WaitUntil([&] { return Checked(prompt, IDC_SI_WENLOW); }, 5s));
    EXPECT_TRUE(Checked(prompt, IDC_SI_ENABLE));
    SaveScreenshot(prompt, "windows-prompt.png");
    Click(prompt, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(prompt); }, 5s));

    // Added as edited and saved; the client's next request meets the new entry and is served.
    EXPECT_TRUE(WaitUntil(
        [&] {
            return LogHas(window,
                          "(02:00:00:00:00:02) Client not in the Access Control List has been "
                          "added to the list.");
        },
        5s));
    EXPECT_EQ(ReplyTo(*client, u"HAL"), kVersionReply);
    const std::vector<CAccessControlItem> saved = secured.SavedList();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].GetMacText(), u"02:00:00:00:00:02");
    EXPECT_EQ(saved[0].name, u"Pit lane");
    EXPECT_EQ(saved[0].enabled, 1);
    EXPECT_EQ(saved[0].allowWenlow, 1);
    EXPECT_EQ(saved[0].allowClerkOrvo, 0);
    EXPECT_EQ(saved[0].allowFieldOrvo, 0);

    // Clients > Wenlow Clients lists the admitted client's address; FieldOrvo has none.
    PostMessageW(window, WM_COMMAND,
                 IDM_COMMAND_BASE + static_cast<int>(CWindowCommand::kWenlowClients), 0);
    HWND clients = WaitForProgramDialog(program.ProcessId(),
                                        Wide(ClientsDlgTitleText(CProduct::Wenlow, 1)), window);
    ASSERT_NE(clients, nullptr);
    HWND list = GetDlgItem(clients, IDC_CLIENTS_LIST);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(ListViewCell(list, program.ProcessId(), 0, 0), L"127.0.0.2");
    EXPECT_EQ(ItemText(clients, IDOK), Wide(texts::kClose));
    SaveScreenshot(clients, "windows-clients.png");
    Click(clients, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(clients); }, 5s));
    PostMessageW(window, WM_COMMAND,
                 IDM_COMMAND_BASE + static_cast<int>(CWindowCommand::kFieldOrvoClients), 0);
    clients = WaitForProgramDialog(program.ProcessId(),
                                   Wide(ClientsDlgTitleText(CProduct::FieldOrvo, 0)), window);
    ASSERT_NE(clients, nullptr);
    EXPECT_EQ(SendDlgItemMessageW(clients, IDC_CLIENTS_LIST, LVM_GETITEMCOUNT, 0, 0), 0);
    Click(clients, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(clients); }, 5s));

    client.reset();
    EXPECT_EQ(program.Close(), 0);
}

TEST(Win32Prompt, TheEntryDialogChecksTypingAndADeclinedClientStaysOut) {
    CSandbox sandbox;
    CSecuredStart secured(sandbox);
    CRunningWindow program(sandbox);
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);
    auto client = ClientFrom(program, "127.0.0.3");
    ASSERT_TRUE(client);
    EXPECT_EQ(ReplyTo(*client, u"HAL"), kRefusal);
    HWND prompt = WaitForProgramDialog(program.ProcessId(), Wide(texts::kAddMacTitle), window);
    ASSERT_NE(prompt, nullptr);

    // A character that is neither letter nor digit is refused and the byte's text comes back.
    TypeInto(GetDlgItem(prompt, IDC_SI_MAC1), L"-");
    HWND box = WaitForProgramDialog(program.ProcessId(), Wide(texts::kMessageBoxTitle), prompt);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ItemText(box, 0xFFFF), Wide(texts::kInvalidMacCharacter));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5s));
    EXPECT_TRUE(WaitUntil([&] { return ItemText(prompt, IDC_SI_MAC1) == L"02"; }, 5s))
        << Narrow(ItemText(prompt, IDC_SI_MAC1));
    // Letters are taken, and two characters move the typing on to the next byte.
    TypeInto(GetDlgItem(prompt, IDC_SI_MAC2), L"a1");
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(prompt) == GetDlgItem(prompt, IDC_SI_MAC3); }, 5s));
    EXPECT_EQ(ItemText(prompt, IDC_SI_MAC2), L"a1");
    EXPECT_EQ(FindProgramDialog(program.ProcessId(), Wide(texts::kMessageBoxTitle), prompt),
              nullptr);

    // Declined: logged, nothing saved, and the client's next request is refused and asked
    // about again.
    Click(prompt, IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(prompt); }, 5s));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return LogHas(window,
                          "(02:00:00:00:00:03) Client not in the Access Control List has NOT "
                          "been added to the list.");
        },
        5s));
    EXPECT_TRUE(secured.SavedList().empty());
    EXPECT_EQ(ReplyTo(*client, u"HAL"), kRefusal);
    prompt = WaitForProgramDialog(program.ProcessId(), Wide(texts::kAddMacTitle), window);
    ASSERT_NE(prompt, nullptr);

    // Closing the window while the question is open ends the program: the connection that
    // waits for the answer is let go rather than waited for. The client itself leaves first,
    // as in the other driver tests.
    client.reset();
    EXPECT_EQ(program.Close(), 0);
    EXPECT_TRUE(secured.SavedList().empty());
}

namespace {

// The text of a visible balloon of the notification area, in whichever process draws it.
std::wstring VisibleBalloonText() {
    std::wstring found;
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            wchar_t className[32] = {};
            GetClassNameW(hwnd, className, 32);
            if (std::wstring(className) != TOOLTIPS_CLASSW || !IsWindowVisible(hwnd) ||
                (GetWindowLongW(hwnd, GWL_STYLE) & TTS_BALLOON) == 0)
                return TRUE;
            wchar_t text[512] = {};
            SendMessageW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
            *reinterpret_cast<std::wstring*>(param) = text;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace

TEST(Win32Prompt, FieldResultsReceivedShowABalloon) {
    CSandbox sandbox;
    CRunningWindow program(sandbox);
    ASSERT_NE(program.Window(), nullptr);
    auto client = CClientConnection::Connect("127.0.0.1", program.Port(), WireMode::kSingleByte);
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->SendText(
        BuildUploadMessage(u"RFF", Scramble(u"7,1,3,Shot\r 1,Ann,12.50\r"), false)));
    const auto reply = client->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"ROK");
    EXPECT_TRUE(WaitUntil(
        [&] {
            return VisibleBalloonText().find(L"FieldOrvo Sent Results for 007-1-03.") !=
                   std::wstring::npos;
        },
        5s))
        << Narrow(VisibleBalloonText());
    client.reset();
    EXPECT_EQ(program.Close(), 0);
}
