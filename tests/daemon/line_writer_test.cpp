#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <thread>

#include "daemon/LineWriter.h"
#include "pipe_reader.h"

namespace kestrom {
namespace {

using testing::Lines;
using testing::PipeReader;
using namespace std::chrono_literals;

TEST(LineWriter, LinesLeaveInTheOrderGivenAndAllAreWrittenByTheEnd) {
    PipeReader pipe;
    {
        CLineWriter writer(pipe.WriteEnd());
        // A loop outruns any reader: room for all, so none is dropped.
        writer.SetMaxBacklogLines(20000);
        for (int i = 0; i < 20000; ++i) writer.Write("line " + std::to_string(i) + "\n");
    }  // the destructor writes out what is left
    const auto lines = Lines(pipe.Finish());
    ASSERT_EQ(lines.size(), 20000u);
    for (int i = 0; i < 20000; ++i) ASSERT_EQ(lines[i], "line " + std::to_string(i));
}

std::string LostLine(std::uint64_t lost) {
    return "lost " + std::to_string(lost) + "\n";
}

TEST(LineWriter, AnUnreadOutputDropsLinesBeyondTheBoundAndCountsThemInTheNextLine) {
    PipeReader pipe(false);  // nobody reads yet: the pipe fills and the writer thread waits
    CLineWriter writer(pipe.WriteEnd(), LostLine);
    writer.SetMaxBacklogLines(100);
    const std::string line(1000, 'x');
    constexpr int kCount = 20000;  // 20 MB, far more than the pipe and the backlog hold
    // The writers must never wait for the reader.
    auto producer = std::async(std::launch::async, [&] {
        for (int i = 0; i < kCount; ++i) writer.Write(line + "\n");
    });
    ASSERT_EQ(producer.wait_for(30s), std::future_status::ready);
    EXPECT_GT(writer.DroppedLines(), 0u);

    pipe.Start();
    writer.Flush();  // room again: the next line is taken
    const std::uint64_t dropped = writer.DroppedLines();
    writer.Write("after\n");
    writer.Flush();
    const auto lines = Lines(pipe.Finish());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), "after");
    // Every line is either written or counted in a report; the last report comes just
    // before "after", once there was room again.
    EXPECT_EQ(lines[lines.size() - 2].rfind("lost ", 0), 0u);
    std::uint64_t lost = 0;
    std::size_t kept = 0;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].rfind("lost ", 0) == 0) {
            lost += std::stoull(lines[i].substr(5));
        } else {
            ASSERT_EQ(lines[i], line);
            ++kept;
        }
    }
    EXPECT_EQ(lost, dropped);
    EXPECT_EQ(writer.DroppedLines(), dropped);
    EXPECT_EQ(kept + lost, static_cast<std::size_t>(kCount));
}

TEST(LineWriter, EndsWithinItsGraceWhenTheOutputIsNeverRead) {
    PipeReader pipe(false);
    auto ended = std::async(std::launch::async, [&pipe] {
        CLineWriter writer(pipe.WriteEnd(), LostLine);
        const std::string line(1000, 'y');
        // More than a pipe holds, so the writer thread is stuck in the output at the end.
        for (int i = 0; i < 1000; ++i) writer.Write(line + "\n");
    });
    EXPECT_EQ(ended.wait_for(30s), std::future_status::ready);
    pipe.Start();
}

TEST(LineWriter, AnUnwritableOutputLosesTheLinesButNeverHangs) {
    CLineWriter writer(-1);
    // More than the backlog bound: lines that cannot be written must still count as done.
    auto done = std::async(std::launch::async, [&writer] {
        const std::string line = "lost\n";
        for (size_t n = 0; n < 2 * CLineWriter::kDefaultMaxBacklogLines; ++n) writer.Write(line);
        writer.Flush();
    });
    EXPECT_EQ(done.wait_for(30s), std::future_status::ready);
}

}  // namespace
}  // namespace kestrom
