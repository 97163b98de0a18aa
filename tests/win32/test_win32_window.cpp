// kestrom.exe driven from outside: the main window, the notification icon, the second start
// and closing.
#include <gtest/gtest.h>

#include "app/InstanceChecker.h"
#include "app/SettingsStore.h"
#include "tools/ClientConnection.h"
#include "win32/window_driver.h"
#include "window/Menus.h"
#include "window/ProductGrid.h"
#include "wire/Records.h"

using namespace kestrom;
using namespace kestrom::client;
using namespace kestrom::testing::win32;

TEST(Win32Window, ShowsItsSettingsServesAndLogsAndSavesOnClose) {
    CSandbox sandbox;
    CRunningWindow program(sandbox);
    ASSERT_GT(program.Port(), 0);
    HWND window = program.Window();
    ASSERT_NE(window, nullptr) << "no window titled " << ToUtf8(MainWindowTitle());

    // The start: port and folders from the command line, no connections, the grid's rows.
    EXPECT_EQ(ItemText(window, IDC_PORT), std::to_wstring(program.Port()));
    EXPECT_EQ(ItemText(window, IDC_EVENT_DIR), Wide(program.EventDir()));
    EXPECT_EQ(ItemText(window, IDC_RESULTS_DIR), Wide(program.ResultsDir()));
    EXPECT_EQ(ItemText(window, IDC_CONNECTIONS), L"0");
    EXPECT_EQ(ItemText(window, IDC_ERRORS), L"0");
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_LOG_EVENTS, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_GRID, LVM_GETITEMCOUNT, 0, 0), kGridRows - 1);
    const CProductCounts none;
    for (int row = 1; row < kGridRows; ++row)
        for (int column = 0; column < kGridColumns; ++column)
            EXPECT_EQ(GridCell(window, program.ProcessId(), row - 1, column),
                      Wide(ProductGridCell(row, column, none)))
                << "row " << row << " column " << column;

    // A device's ping: the reply, and its line on top of the log within a second.
    auto client = CClientConnection::Connect("127.0.0.1", program.Port(), WireMode::kSingleByte);
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->SendText(BuildRequest(u"HAL")));
    const auto reply = client->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, kVersionReply);
    EXPECT_TRUE(
        WaitUntil([&] { return LogRow(window, 0).find(L"Wenlow Ping") != std::wstring::npos; }, 1s))
        << "top row: " << Narrow(LogRow(window, 0));
    EXPECT_TRUE(WaitUntil([&] { return ItemText(window, IDC_CONNECTIONS) == L"1"; }, 1s));
    SaveScreenshot(window, "windows-main-window.png");
    // Loopback has no MAC address: that error line is counted, and Clear Errors clears it.
    EXPECT_TRUE(WaitUntil([&] { return ItemText(window, IDC_ERRORS) == L"1"; }, 1s))
        << Narrow(ItemText(window, IDC_ERRORS));
    SendDlgItemMessageW(window, IDC_CLEAR_ERRORS, BM_CLICK, 0, 0);
    EXPECT_EQ(ItemText(window, IDC_ERRORS), L"0");
    // The admitted Wenlow client is counted in the grid.
    CProductCounts one;
    one.wenlow = 1;
    for (int row = 1; row < kGridRows; ++row)
        for (int column = 1; column < kGridColumns; ++column)
            EXPECT_EQ(GridCell(window, program.ProcessId(), row - 1, column),
                      Wide(ProductGridCell(row, column, one)))
                << "row " << row << " column " << column;
    // The folders and the port lock while a client is connected.
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_PORT)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_EVENT_BROWSE)));
    client.reset();
    EXPECT_TRUE(WaitUntil([&] { return ItemText(window, IDC_CONNECTIONS) == L"0"; }, 2s));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(window, IDC_PORT)) != 0; }, 3s));

    // Enter and Escape reach the window as IDOK and IDCANCEL; neither closes it.
    SendMessageW(window, WM_COMMAND, IDOK, 0);
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindow(window));

    // Minimising hides the window into the notification icon; a double click on the icon
    // brings it back.
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }, 2s));
    PostMessageW(window, WM_APP + 2, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) && !IsIconic(window); }, 2s));

    // A second start says another instance runs, brings the first forward and ends with 1.
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(window); }, 2s));
    {
        CSecondStart second(program.CommandLine());
        HWND box = nullptr;
        const std::wstring boxTitle = Wide(texts::kMessageBoxTitle);
        EXPECT_TRUE(WaitUntil(
            [&] {
                box = FindWindowW(L"#32770", boxTitle.c_str());
                return box != nullptr;
            },
            20s));
        if (box) {
            const std::wstring text = MessageBoxText(box);
            EXPECT_EQ(Narrow(text), std::string(kPreviousInstanceMessage));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        // The first window comes forward once the message has been read.
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != 0; }, 5s));
        EXPECT_EQ(second.ExitStatus(), 1);
    }

    // An edited port is taken on close and saved with the settings; the exit status is 0.
    const int newPort = program.Port() + 1;
    SetDlgItemTextW(window, IDC_PORT, std::to_wstring(newPort).c_str());
    EXPECT_EQ(program.Close(), 0);
    CKestromSettings saved;
    CSettingsStore(program.SettingsFile()).Load(saved, std::nullopt, std::nullopt);
    EXPECT_EQ(saved.PortNumber, newPort);
    EXPECT_EQ(saved.EventDirectory, FromUtf8(program.EventDir()));
}

TEST(Win32Window, ABadPortOnCloseIsShownAndTheSavedPortKept) {
    CSandbox sandbox;
    CRunningWindow program(sandbox);
    ASSERT_GT(program.Port(), 0);
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);

    SetDlgItemTextW(window, IDC_PORT, L"40000");
    PostMessageW(window, WM_CLOSE, 0, 0);
    // The port's range message, in a box of the window's own process.
    HWND box = nullptr;
    const std::wstring boxTitle = Wide(texts::kMessageBoxTitle);
    ASSERT_TRUE(WaitUntil(
        [&] {
            box = FindWindowW(L"#32770", boxTitle.c_str());
            DWORD owner = 0;
            if (box) GetWindowThreadProcessId(box, &owner);
            return box != nullptr && owner == program.ProcessId();
        },
        5s));
    const std::wstring text = MessageBoxText(box);
    EXPECT_EQ(Narrow(text), ToUtf8(PortRangeText()));
    PostMessageW(box, WM_COMMAND, IDOK, 0);

    EXPECT_EQ(program.WaitForExit(), 0);
    CKestromSettings saved;
    CSettingsStore(program.SettingsFile()).Load(saved, std::nullopt, std::nullopt);
    EXPECT_EQ(saved.PortNumber, program.Port());
}

TEST(Win32Window, HelpWithoutTheManualSaysWhereItLookedAndAboutNamesTheVersion) {
    CSandbox sandbox;
    // A copy of the program in a folder of its own, without the manual beside it.
    const std::string copy = WindowsPath(sandbox.File("kestrom.exe"));
    ASSERT_TRUE(CopyFileW(ProgramPath().c_str(), Wide(copy).c_str(), FALSE));
    CRunningWindow program(sandbox, Wide(copy));
    HWND window = program.Window();
    ASSERT_NE(window, nullptr);

    PostMessageW(window, WM_COMMAND,
                 IDM_COMMAND_BASE + static_cast<int>(CWindowCommand::kHelpContents), 0);
    HWND box = nullptr;
    const std::wstring boxTitle = Wide(texts::kMessageBoxTitle);
    ASSERT_TRUE(WaitUntil(
        [&] {
            box = FindWindowW(L"#32770", boxTitle.c_str());
            return box != nullptr;
        },
        5s));
    const std::string expected = WindowsPath(sandbox.File("manual/index.html"));
    EXPECT_EQ(Narrow(MessageBoxText(box)), ToUtf8(MissingHelpFileText(FromUtf8(expected))));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 5s));

    // The system menu's About names the version.
    PostMessageW(window, WM_SYSCOMMAND, IDM_COMMAND_BASE, 0);
    HWND about = nullptr;
    const std::wstring aboutTitle = Wide(texts::kAboutTitle);
    ASSERT_TRUE(WaitUntil(
        [&] {
            about = FindWindowW(L"#32770", aboutTitle.c_str());
            return about != nullptr;
        },
        5s));
    const std::wstring text = MessageBoxText(about);
    EXPECT_NE(Narrow(text).find(ToUtf8(AboutVersionText())), std::string::npos) << Narrow(text);
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.Close(), 0);
}
