// The service's command line read back by Windows' own splitter, as the C runtime of the
// service's process reads it.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

#include "base/TextConvert.h"
#include "daemon/ServiceCommandLine.h"

namespace kestrom {
namespace {

std::vector<std::string> SplitByWindows(const std::u16string& line) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(reinterpret_cast<const wchar_t*>(line.c_str()), &count);
    std::vector<std::string> args;
    if (!wide) return args;
    for (int i = 0; i < count; ++i)
        args.push_back(ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
    ::LocalFree(wide);
    return args;
}

TEST(ServiceCommandLineWin, WindowsSplitsTheLineBackIntoTheSameArguments) {
    const std::vector<std::string> args{"--run-as-service",
                                        "--config-dir",
                                        "C:\\ProgramData\\Kestrom",
                                        "--event-dir",
                                        "C:\\Meet Day 1\\",
                                        "--results-dir",
                                        "D:\\r\\\\",
                                        "--console-address",
                                        "",
                                        "/initStartListDirectory=C:\\Start \"Lists\"",
                                        "a\\\\\"b c",
                                        "\xc3\x9c"
                                        "bung \xe2\x82\xac"};
    const std::u16string program = u"C:\\Program Files\\Kestrom\\kestromd.exe";
    const std::vector<std::string> back = SplitByWindows(ServiceCommandLine(program, args));
    ASSERT_EQ(back.size(), args.size() + 1);
    EXPECT_EQ(back[0], ToUtf8(program));
    for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(back[i + 1], args[i]) << i;
}

}  // namespace
}  // namespace kestrom
