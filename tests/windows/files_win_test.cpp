// Windows' own share modes, replacement and wide names, between handles and processes.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/AtomicFile.h"
#include "base/FileCause.h"
#include "base/FileEx.h"
#include "base/FileFind.h"
#include "base/TextConvert.h"
#include "support/sandbox.h"
#include "support/wait.h"

namespace kestrom {
namespace {

using testing::CSandbox;

std::wstring WideOf(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

// A second process that holds a file open: this test program run again for the one disabled
// test below, which opens KESTROM_HOLD_PATH with KESTROM_HOLD_FLAGS, says so in a ".ready"
// file and keeps the file open for KESTROM_HOLD_MS.
class CHolder {
  public:
    CHolder(const std::u16string& path, unsigned flags, int holdMs) : ready_(path + u".ready") {
        wchar_t self[MAX_PATH];
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        ::SetEnvironmentVariableW(L"KESTROM_HOLD_PATH", WideOf(path).c_str());
        ::SetEnvironmentVariableW(L"KESTROM_HOLD_FLAGS", std::to_wstring(flags).c_str());
        ::SetEnvironmentVariableW(L"KESTROM_HOLD_MS", std::to_wstring(holdMs).c_str());
        std::wstring command = L"\"" + std::wstring(self) +
                               L"\" --gtest_also_run_disabled_tests "
                               L"--gtest_filter=WindowsHolder.DISABLED_HoldFileOpen";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, &startup, &process_);
        for (const wchar_t* name :
             {L"KESTROM_HOLD_PATH", L"KESTROM_HOLD_FLAGS", L"KESTROM_HOLD_MS"})
            ::SetEnvironmentVariableW(name, nullptr);
    }
    ~CHolder() {
        if (!started_) return;
        ::WaitForSingleObject(process_.hProcess, 20000);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
        ::DeleteFileW(WideOf(ready_).c_str());
    }
    // True once the other process has the file open.
    bool WaitUntilHeld() {
        return started_ && testing::WaitUntil([&] { return LookUpFile(ready_).has_value(); },
                                              std::chrono::seconds(20));
    }
    DWORD ExitCode() {
        ::WaitForSingleObject(process_.hProcess, 20000);
        DWORD code = 1;
        ::GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

  private:
    std::u16string ready_;
    bool started_ = false;
    PROCESS_INFORMATION process_{};
};

TEST(WindowsHolder, DISABLED_HoldFileOpen) {
    const char* path = std::getenv("KESTROM_HOLD_PATH");
    ASSERT_NE(path, nullptr);
    CFileEx file(FromUtf8(path));
    ASSERT_TRUE(file.Open(static_cast<unsigned>(std::atoi(std::getenv("KESTROM_HOLD_FLAGS")))));
    CFileEx ready(FromUtf8(path) + u".ready");
    ASSERT_TRUE(ready.Open(CFileEx::modeCreate | CFileEx::modeWrite));
    ready.Close();
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::atoi(std::getenv("KESTROM_HOLD_MS"))));
}

TEST(WindowsFiles, ShareModesBetweenTwoHandles) {
    CSandbox dir;
    dir.Put("orvo.evt", "1,1,1,Long Jump\n");
    CFileEx reader(dir.Wide("orvo.evt"));
    ASSERT_TRUE(reader.Open(CFileEx::modeRead | CFileEx::shareDenyWrite));
    CFileEx writer(dir.Wide("orvo.evt"));
    EXPECT_EQ(writer.Open(CFileEx::modeWrite | CFileEx::shareDenyNone).Cause(),
              file_cause::kSharingViolation);
    CFileEx secondReader(dir.Wide("orvo.evt"));
    EXPECT_TRUE(secondReader.Open(CFileEx::modeRead | CFileEx::shareDenyWrite));
    secondReader.Close();

    CFileEx exclusive(dir.Wide("orvo.evt"));
    EXPECT_EQ(exclusive.Open(CFileEx::modeRead | CFileEx::shareExclusive).Cause(),
              file_cause::kSharingViolation);

    // A refused create-and-truncate changes nothing.
    EXPECT_FALSE(writer.Open(CFileEx::modeCreate | CFileEx::modeWrite));
    reader.Close();
    EXPECT_EQ(dir.Get("orvo.evt"), "1,1,1,Long Jump\n");
    EXPECT_TRUE(writer.Open(CFileEx::modeWrite | CFileEx::shareExclusive));
}

TEST(WindowsFiles, ShareModesBetweenTwoProcesses) {
    CSandbox dir;
    dir.Put("orvo.ppl", "1,Ann\n");
    CHolder holder(dir.Wide("orvo.ppl"), CFileEx::modeWrite | CFileEx::shareDenyWrite, 1500);
    ASSERT_TRUE(holder.WaitUntilHeld());
    CFileEx writer(dir.Wide("orvo.ppl"));
    EXPECT_EQ(writer.Open(CFileEx::modeWrite | CFileEx::shareDenyNone).Cause(),
              file_cause::kSharingViolation);
    CFileEx reader(dir.Wide("orvo.ppl"));
    // The holder writes and shares reading only; a reader that denies writing cannot coexist.
    EXPECT_FALSE(reader.Open(CFileEx::modeRead | CFileEx::shareDenyWrite));
    EXPECT_TRUE(reader.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
    reader.Close();
    EXPECT_EQ(holder.ExitCode(), 0u);
    EXPECT_TRUE(writer.Open(CFileEx::modeWrite | CFileEx::shareDenyNone));
}

TEST(WindowsFiles, ReplacementWaitsForAReaderInAnotherProcessThenFailsWhole) {
    CSandbox dir;
    dir.Put("KestromMAC.dat", "old content");
    {
        CHolder holder(dir.Wide("KestromMAC.dat"), CFileEx::modeRead | CFileEx::shareDenyWrite,
                       8000);
        ASSERT_TRUE(holder.WaitUntilHeld());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WriteFileAtomically(dir.Wide("KestromMAC.dat"), "new content").Cause(),
                  file_cause::kSharingViolation);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
        // Neither missing nor torn, and no temporary file left beside it.
        EXPECT_EQ(dir.Get("KestromMAC.dat"), "old content");
        EXPECT_EQ(FindFiles(dir.Wide(""), u"*.tmp").files.size(), 0u);
    }
    {
        // A reader that lets go within the retries does not make the write fail.
        CHolder holder(dir.Wide("KestromMAC.dat"), CFileEx::modeRead | CFileEx::shareDenyWrite,
                       400);
        ASSERT_TRUE(holder.WaitUntilHeld());
        EXPECT_TRUE(WriteFileAtomically(dir.Wide("KestromMAC.dat"), "new content"));
        EXPECT_EQ(dir.Get("KestromMAC.dat"), "new content");
    }
}

TEST(WindowsFiles, AWriterInPlaceExcludesAReplacementAndTheOtherWayRound) {
    CSandbox dir;
    dir.Put("001-1-01.qff", "a");
    CAtomicFileWriter first(dir.Wide("001-1-01.qff"));
    ASSERT_TRUE(first.Create());
    EXPECT_TRUE(first.TargetExisted());
    CAtomicFileWriter second(dir.Wide("001-1-01.QFF"));  // the same file, in another case
    EXPECT_EQ(second.Create().Cause(), file_cause::kSharingViolation);
    CFileEx inPlace(dir.Wide("001-1-01.qff"));
    EXPECT_EQ(inPlace.Open(CFileEx::modeWrite | CFileEx::shareDenyWrite).Cause(),
              file_cause::kSharingViolation);
    ASSERT_TRUE(first.File().Write("b", 1));
    ASSERT_TRUE(first.Commit());
    EXPECT_EQ(dir.Get("001-1-01.qff"), "b");
    EXPECT_TRUE(second.Create());
}

TEST(WindowsFiles, NonAsciiNamesAreFoundWrittenAndReplaced) {
    CSandbox dir;
    const std::u16string name = u"Zürich Ελλάδα 東京.evt";
    const std::u16string path = FromUtf8(dir.Dir()) + u"/" + name;
    CFileEx file(path);
    ASSERT_TRUE(file.Open(CFileEx::modeCreate | CFileEx::modeWrite));
    ASSERT_TRUE(file.Write("1,1,1,Hoch\n", 11));
    ASSERT_TRUE(file.Close());

    const FolderListing found = FindFiles(FromUtf8(dir.Dir()), u"*.EVT");
    ASSERT_EQ(found.status.Cause(), 0);
    ASSERT_EQ(found.files.size(), 1u);
    EXPECT_EQ(found.files[0].name, name);
    EXPECT_EQ(found.files[0].size, 11u);
    ASSERT_TRUE(LookUpFile(path).has_value());

    ASSERT_TRUE(WriteFileAtomically(path, "replaced"));
    EXPECT_EQ(testing::ReadText(dir.File(ToUtf8(name))), "replaced");
    // The wide name reached the system whole: Win32 sees it under its UTF-16 name.
    EXPECT_NE(::GetFileAttributesW(WideOf(path).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(WindowsFiles, MissingFolderAndMissingFileAreToldApart) {
    CSandbox dir;
    CFileEx file(dir.Wide("nowhere/orvo.evt"));
    EXPECT_EQ(file.Open(CFileEx::modeRead).Cause(), file_cause::kBadPath);
    file.SetPath(dir.Wide("orvo.evt"));
    EXPECT_EQ(file.Open(CFileEx::modeRead).Cause(), file_cause::kFileNotFound);
    EXPECT_EQ(FindFiles(dir.Wide("nowhere"), u"*").status.Cause(), file_cause::kBadPath);
    EXPECT_EQ(FindFiles(dir.Wide(""), u"*.evt").status.Cause(), 0);
}

}  // namespace
}  // namespace kestrom
