// The service's log file on Windows, where a file that another program holds open cannot be
// renamed unless that program allowed it.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "base/TextConvert.h"
#include "daemon/RotatingLogFile.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

using testing::CSandbox;
using testing::U8Path;

std::string Line(char c) {
    return std::string(29, c) + "\n";  // 30 bytes: three fit under the limit of 100
}

TEST(RotatingLogFileWin, AReaderHoldingTheLogDelaysTheRotationAndLosesNoOlderFile) {
    CSandbox box;
    const std::string path = box.File("kestromd.log");
    box.Put("kestromd.log.1", "older\n");
    box.Put("kestromd.log.rotating", "left by a crash\n");
    CRotatingLogFile log(path, CLogRotation{100, 3});
    for (char c : {'a', 'b', 'c'}) log.Write(Line(c));

    // An editor or a tail tool that opened the log without delete sharing.
    const std::u16string wide = FromUtf8(path);
    HANDLE reader = ::CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    log.Write(Line('d'));  // would rotate, but the file cannot move
    EXPECT_EQ(box.Get("kestromd.log"), Line('a') + Line('b') + Line('c') + Line('d'));
    EXPECT_EQ(box.Get("kestromd.log.1"), "older\n");
    EXPECT_FALSE(std::filesystem::exists(U8Path(box.File("kestromd.log.2"))));
    ::CloseHandle(reader);

    log.Write(Line('e'));  // the reader is gone: now it rotates
    EXPECT_EQ(box.Get("kestromd.log"), Line('e'));
    EXPECT_EQ(box.Get("kestromd.log.1"), Line('a') + Line('b') + Line('c') + Line('d'));
    EXPECT_EQ(box.Get("kestromd.log.2"), "older\n");
    EXPECT_FALSE(std::filesystem::exists(U8Path(box.File("kestromd.log.rotating"))));
}

}  // namespace
}  // namespace kestrom
