#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "daemon/DaemonOperator.h"
#include "daemon/RotatingLogFile.h"
#include "pipe_reader.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

using testing::CSandbox;
using testing::Lines;
using testing::U8Path;

TEST(LogRotation, AFileRotatesOnlyWhenTheBatchWouldTakeItPastTheLimit) {
    EXPECT_FALSE(LogNeedsRotation(0, 10, 100));
    EXPECT_FALSE(LogNeedsRotation(90, 10, 100));  // exactly at the limit still fits
    EXPECT_TRUE(LogNeedsRotation(91, 10, 100));
    // A batch larger than the limit goes into an empty file rather than being lost...
    EXPECT_FALSE(LogNeedsRotation(0, 500, 100));
    // ...and the next one starts a new file.
    EXPECT_TRUE(LogNeedsRotation(500, 1, 100));
    EXPECT_EQ(RotatedLogName("C:\\Data\\kestromd.log", 3), "C:\\Data\\kestromd.log.3");
}

TEST(RotatingLogFile, KeepsTheNewestLinesWholeInOrderAcrossAFixedNumberOfFiles) {
    CSandbox box;
    const std::string path = box.File("kestromd.log");
    constexpr int kLines = 200;
    {
        CRotatingLogFile log(path, CLogRotation{100, 3});
        ASSERT_TRUE(log.IsOpen());
        // 30 bytes a line: three fit in one file, the fourth starts the next.
        for (int i = 0; i < kLines; ++i) {
            std::string line = "line " + std::to_string(1000 + i) + " ";
            line.resize(29, '.');
            log.Write(line + "\n");
        }
    }
    EXPECT_FALSE(std::filesystem::exists(U8Path(RotatedLogName(path, 4))));
    EXPECT_FALSE(std::filesystem::exists(U8Path(path + ".rotating")));
    // Oldest first: .3, .2, .1, then the file itself.
    std::vector<std::string> all;
    for (const std::string& name :
         {RotatedLogName(path, 3), RotatedLogName(path, 2), RotatedLogName(path, 1), path}) {
        const std::string bytes = box.Get(std::filesystem::path(U8Path(name)).filename().string());
        EXPECT_LE(bytes.size(), 100u) << name;
        for (const std::string& line : Lines(bytes)) all.push_back(line);
    }
    ASSERT_EQ(all.size(), 11u);  // 3 + 3 + 3 in the rotated files, 2 in the current one
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(all[i].substr(0, 9), "line " + std::to_string(1000 + kLines - 11 + i)) << i;
}

TEST(RotatingLogFile, AppendsToTheFileOfAnEarlierRunAndCountsItsSize) {
    CSandbox box;
    box.Put("kestromd.log", std::string(60, 'x') + "\n");
    {
        CRotatingLogFile log(box.File("kestromd.log"), CLogRotation{100, 2});
        log.Write("second run 1\n");             // 61 + 13 fits
        log.Write(std::string(30, 'y') + "\n");  // would pass 100: the old run's file moves on
    }
    EXPECT_EQ(box.Get("kestromd.log.1"), std::string(60, 'x') + "\nsecond run 1\n");
    EXPECT_EQ(box.Get("kestromd.log"), std::string(30, 'y') + "\n");
}

TEST(RotatingLogFile, TheDaemonsNotesAreNeitherCutNorHeldBackByLogEvents) {
    CSandbox box;
    CRotatingLogFile log(box.File("kestromd.log"));
    const std::string note = "kestromd (Kestrom): " + std::string(300, 'n');
    {
        CDaemonOperator op(log);
        CSharedSettings settings;
        settings.Update([](CKestromSettings& s) { s.LogEvents = false; });
        op.SetSettings(&settings);
        op.AddLogLine(u"an event line", LogLevel::kInfo);  // hidden: LogEvents is off
        op.AddNote(note + "\nsecond part");
        op.FlushLog();
    }
    const auto lines = Lines(box.Get("kestromd.log"));
    ASSERT_EQ(lines.size(), 1u);
    // "MM/DD/YYYY HH:MM:SS   ", then the whole note on one line.
    EXPECT_EQ(lines[0].substr(22), note + " second part");
    EXPECT_EQ(lines[0].substr(19, 3), "   ");
}

}  // namespace
}  // namespace kestrom
