#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "PipeReader.h"
#include "daemon/LineWriter.h"

namespace kestrom {
namespace {

using testing::Lines;
using testing::PipeReader;
using namespace std::chrono_literals;

TEST(LineWriter, LinesLeaveInTheOrderGivenAndAllAreWrittenByTheEnd) {
    PipeReader pipe;
    {
        CLineWriter writer(pipe.WriteEnd());
        for (int i = 0; i < 20000; ++i) writer.Write("line " + std::to_string(i) + "\n");
    }  // the destructor writes out what is left
    const auto lines = Lines(pipe.Finish());
    ASSERT_EQ(lines.size(), 20000u);
    for (int i = 0; i < 20000; ++i) ASSERT_EQ(lines[i], "line " + std::to_string(i));
}

TEST(LineWriter, AnUnreadOutputHoldsWritersBackInsteadOfDroppingLines) {
    PipeReader pipe(false);  // nobody reads yet: the pipe fills and the writer thread waits
    CLineWriter writer(pipe.WriteEnd());
    const std::string line(1000, 'x');
    const int count = static_cast<int>(3 * CLineWriter::kMaxBacklogBytes / 1001);
    std::atomic<int> handedOver{0};
    std::thread producer([&] {
        for (int i = 0; i < count; ++i) {
            writer.Write(line + "\n");
            ++handedOver;
        }
    });
    // The backlog bound stops the producer well before all its lines are taken.
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(handedOver.load(), count);
    pipe.Start();
    producer.join();
    writer.Flush();
    const auto lines = Lines(pipe.Finish());
    EXPECT_EQ(lines.size(), static_cast<size_t>(count));
    for (const auto& l : lines) ASSERT_EQ(l, line);
}

TEST(LineWriter, AnUnwritableOutputLosesTheLinesButNeverHangs) {
    CLineWriter writer(-1);
    // More than the backlog bound: lines that cannot be written must still count as done.
    auto done = std::async(std::launch::async, [&writer] {
        const std::string line = "lost\n";
        for (size_t n = 0; n < 2 * CLineWriter::kMaxBacklogBytes; n += line.size())
            writer.Write(line);
        writer.Flush();
    });
    EXPECT_EQ(done.wait_for(30s), std::future_status::ready);
}

}  // namespace
}  // namespace kestrom
