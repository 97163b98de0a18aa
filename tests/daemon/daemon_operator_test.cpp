#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/TextConvert.h"
#include "daemon/DaemonOperator.h"
#include "pipe_reader.h"

namespace kestrom {
namespace {

using testing::Lines;
using testing::PipeReader;

constexpr size_t kStampChars = 22;  // "MM/DD/YYYY HH:MM:SS   "

TEST(DaemonOperator, LinesFromManyThreadsArriveWholeAndEachOnce) {
    PipeReader pipe;
    CDaemonOperator op(pipe.WriteEnd());
    constexpr int kThreads = 8;
    constexpr int kLinesEach = 400;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&op, t] {
            // Long lines, different on every thread, so a line cut by another is seen.
            const std::u16string body(100, static_cast<char16_t>(u'a' + t));
            for (int i = 0; i < kLinesEach; ++i)
                op.AddLogLine(U16(std::to_string(t) + ":" + std::to_string(i) + ":") + body,
                              LogLevel::kInfo);
        });
    }
    for (auto& w : writers) w.join();
    op.FlushLog();

    std::map<std::string, int> seen;
    for (const std::string& line : Lines(pipe.Finish())) {
        ASSERT_GT(line.size(), kStampChars);
        const std::string message = line.substr(kStampChars);
        const size_t colon = message.find(':');
        ASSERT_NE(colon, std::string::npos) << line;
        const int t = std::stoi(message.substr(0, colon));
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        const std::string body = message.substr(message.find(':', colon + 1) + 1);
        EXPECT_EQ(body, std::string(100, static_cast<char>('a' + t))) << line;
        ++seen[message.substr(0, message.find(':', colon + 1))];
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLinesEach));
    for (const auto& [key, count] : seen) EXPECT_EQ(count, 1) << key;
}

TEST(DaemonOperator, OneLinePerEntryAndErrorsCountedEvenWhenNotShown) {
    PipeReader pipe;
    CDaemonOperator op(pipe.WriteEnd());
    CSharedSettings settings;
    settings.Update([](CKestromSettings& s) { s.LogEvents = true; });
    op.SetSettings(&settings);

    op.AddLogLine(u"first\r\nsecond", LogLevel::kInfo);
    op.AddLogLine(u"never shown", LogLevel::kNever);
    op.AddLogLine(u"an error", LogLevel::kError);
    settings.Update([](CKestromSettings& s) { s.LogEvents = false; });
    op.AddLogLine(u"a hidden error", LogLevel::kError);
    op.AddLogLine(u"hidden", LogLevel::kInfo);

    op.FlushLog();
    const std::vector<std::string> lines = Lines(pipe.Finish());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(kStampChars), "first  second");
    EXPECT_EQ(lines[1].substr(kStampChars), "an error");
    EXPECT_EQ(op.ErrorCount(), 2);
}

TEST(DaemonOperator, AnUnreadOutputDropsLinesButKeepsTheErrorCountExact) {
    PipeReader pipe(false);
    CDaemonOperator op(pipe.WriteEnd());
    op.SetLogBacklog(50);
    const std::u16string message(120, u'e');
    constexpr int kErrors = 5000;  // 700 KB of lines: more than the pipe takes
    for (int i = 0; i < kErrors; ++i) op.AddLogLine(message, LogLevel::kError);
    EXPECT_EQ(op.ErrorCount(), kErrors);
    ASSERT_GT(op.DroppedLines(), 0u);

    pipe.Start();
    op.FlushLog();  // room again: the next line is taken
    op.AddLogLine(u"after", LogLevel::kInfo);
    op.FlushLog();
    const std::vector<std::string> lines = Lines(pipe.Finish());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back().substr(kStampChars), "after");
    // Lines shown and lines reported lost add up to every error logged.
    const std::string report = ToUtf8(LostLogLinesMessage(0)).substr(1);
    std::uint64_t lost = 0;
    std::size_t kept = 0;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string text = lines[i].substr(kStampChars);
        if (text == ToUtf8(message)) {
            ++kept;
        } else {
            ASSERT_TRUE(text.ends_with(report)) << text;
            lost += std::stoull(text);
        }
    }
    EXPECT_GT(lost, 0u);
    EXPECT_EQ(lost, op.DroppedLines());
    EXPECT_EQ(kept + lost, static_cast<std::size_t>(kErrors));
}

}  // namespace
}  // namespace kestrom
