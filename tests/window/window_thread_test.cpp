// What crosses to the window's thread: log lines in bounded batches, calls that wait, prompts
// one at a time in arrival order, and the gate that releases every caller at shutdown. A
// plain thread with a queue stands in for the toolkit's event loop.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "core/LogLine.h"
#include "support/wait.h"
#include "window/ClientPromptQueue.h"
#include "window/EventLogState.h"
#include "window/LogCourier.h"
#include "window/WindowThreadCaller.h"

namespace kestrom {
namespace {

using namespace std::chrono_literals;

const LocalDateTime kWhen{2024, 7, 4, 9, 5, 3};

// An event loop on a thread of its own. Stop() ends it after the calls already queued.
class CFakeWindowThread {
  public:
    CFakeWindowThread() : thread_([this] { Loop(); }) {}
    ~CFakeWindowThread() { Stop(); }

    CWindowThreadCaller::Poster Poster() {
        return [this](std::function<void()> work) {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
            wake_.notify_one();
        };
    }
    CWindowThreadCaller::ThreadCheck Check() {
        return [this] { return std::this_thread::get_id() == thread_.get_id(); };
    }
    // Runs `work` on the loop and waits for it.
    void Do(std::function<void()> work) {
        std::promise<void> done;
        Poster()([&] {
            work();
            done.set_value();
        });
        done.get_future().wait();
    }
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
            wake_.notify_one();
        }
        if (thread_.joinable()) thread_.join();
    }

  private:
    void Loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (queue_.empty()) return;
            std::function<void()> work = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            work();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stop_ = false;
    std::thread thread_;
};

TEST(EventLogState, BatchesGoOnTopNewestFirstWithinTheBound) {
    CEventLogState log;
    log.SetMaxLines(3);
    CLogHandOver::Batch batch;
    for (int i = 0; i < 5; ++i) batch.lines.push_back("line " + std::to_string(i));
    batch.errors = 2;
    EXPECT_EQ(log.Accept(batch, kWhen), (std::vector<std::string>{"line 4", "line 3", "line 2"}));
    EXPECT_EQ(log.ErrorCount(), 2);
    EXPECT_EQ(log.RowsKept(10), 3u);

    // The report of a loss stands above the lines that came before it.
    batch.dropped = 7;
    const std::vector<std::string> rows = log.Accept(batch, kWhen);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], FormatLogLine(kWhen, LostLogLinesMessage(7)));
    EXPECT_EQ(rows[1], "line 4");
    EXPECT_EQ(log.ErrorCount(), 4);
    log.ClearErrors();
    EXPECT_EQ(log.ErrorCount(), 0);
    log.SetMaxLines(0);
    EXPECT_EQ(log.MaxLines(), 1u);
}

TEST(EventLogState, OneLineFollowsLogEventsAndLevels) {
    CEventLogState log;
    EXPECT_TRUE(log.OneLine(u"quiet", LogLevel::kInfo, kWhen).lines.empty());
    const CLogHandOver::Batch hiddenError = log.OneLine(u"bad", LogLevel::kError, kWhen);
    EXPECT_TRUE(hiddenError.lines.empty());
    EXPECT_EQ(hiddenError.errors, 1u);  // counted while lines are off
    log.SetLogEvents(true);
    const CLogHandOver::Batch shown =
        log.OneLine(std::u16string(300, u'x'), LogLevel::kInfo, kWhen);
    ASSERT_EQ(shown.lines.size(), 1u);
    EXPECT_EQ(shown.lines[0], "07/04/2024 09:05:03   " + std::string(128, 'x'));
    const CLogHandOver::Batch never = log.OneLine(u"never", LogLevel::kNever, kWhen);
    EXPECT_TRUE(never.lines.empty());
    EXPECT_EQ(never.errors, 0u);
}

TEST(EventLogState, TheExtentOnlyGrows) {
    CEventLogState log;
    EXPECT_EQ(LogExtentFor(500, 17), 520);
    EXPECT_TRUE(log.GrowExtent(520));
    EXPECT_FALSE(log.GrowExtent(100));
    EXPECT_FALSE(log.GrowExtent(520));
    EXPECT_EQ(log.Extent(), 520);
}

TEST(WindowThreadCaller, RunsOnTheWindowThreadInOrderAndReleasesAtClose) {
    CFakeWindowThread loop;
    CWindowThreadCaller caller(loop.Poster(), loop.Check());
    std::vector<int> order;
    bool onLoop = false;
    EXPECT_TRUE(caller.Run([&] {
        order.push_back(1);
        onLoop = caller.OnWindowThread();
    }));
    EXPECT_TRUE(onLoop);
    caller.Post([&] { order.push_back(2); });
    EXPECT_TRUE(caller.Run([&] { order.push_back(3); }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    // Already on the window's thread, Run works at once; waiting for an answer there is refused.
    loop.Do([&] {
        EXPECT_TRUE(caller.Run([&] { order.push_back(4); }));
        EXPECT_FALSE(caller.RunUntilFinished([](std::function<void()>) {}));
    });
    EXPECT_EQ(order.back(), 4);

    // A caller whose answer never comes is released when the window closes.
    std::function<void()> never;
    auto waiting = std::async(std::launch::async, [&] {
        return caller.RunUntilFinished([&](std::function<void()> finish) { never = finish; });
    });
    ASSERT_TRUE(testing::WaitUntil([&] {
        bool held = false;
        loop.Do([&] { held = static_cast<bool>(never); });
        return held;
    }));
    loop.Do([&] { caller.Close(); });
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(caller.Run([&] { order.push_back(5); }));
    caller.Post([&] { order.push_back(6); });
    loop.Do([] {});
    EXPECT_EQ(order.back(), 4);
}

TEST(LogCourier, AFloodNeverWaitsAndArrivesInBatchesWithEveryError) {
    CFakeWindowThread loop;
    CWindowThreadCaller caller(loop.Poster(), loop.Check());
    std::atomic<bool> hold{true};
    std::vector<std::size_t> batchSizes;
    std::uint64_t errors = 0, dropped = 0, lines = 0;
    CLogCourier courier(caller, [&](const CLogHandOver::Batch& batch) {
        batchSizes.push_back(batch.lines.size());
        lines += batch.lines.size();
        errors += batch.errors;
        dropped += batch.dropped;
    });
    courier.SetBacklog(2000);
    // The window's thread is busy while the lines come: callers must not wait on it.
    caller.Post([&] { testing::WaitUntil([&] { return !hold.load(); }, 60s); });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i)
                courier.Add(u"entry", i % 2 ? LogLevel::kInfo : LogLevel::kError, true, kWhen);
        });
    }
    for (auto& t : threads) t.join();
    hold = false;
    ASSERT_TRUE(testing::WaitUntil([&] {
        std::uint64_t seen = 0;
        loop.Do([&] { seen = errors; });
        return seen == 2000;
    }));
    loop.Do([&] {
        EXPECT_EQ(lines, 2000u);
        EXPECT_EQ(dropped, 2000u);
        // At most kLinesPerTake a time, so the window's other events keep their turn.
        EXPECT_GE(batchSizes.size(), 4u);
        for (std::size_t size : batchSizes) EXPECT_LE(size, CLogCourier::kLinesPerTake);
    });
    // The window's own line is handed on at once, on its thread.
    loop.Do([&] {
        const std::size_t before = batchSizes.size();
        courier.Add(u"own", LogLevel::kError, true, kWhen);
        EXPECT_EQ(batchSizes.size(), before + 1);
    });
    courier.Add(u"hidden", LogLevel::kNever, true, kWhen);
    loop.Do([&] { EXPECT_EQ(errors, 2001u); });
}

TEST(ClientPromptQueue, OneQuestionAtATimeInArrivalOrder) {
    CFakeWindowThread loop;
    CWindowThreadCaller caller(loop.Poster(), loop.Check());
    std::vector<std::u16string> shown;
    CClientPromptQueue queue(
        [&](const CAccessControlItem& proposed) { shown.push_back(proposed.GetMacText()); });
    const auto ask = [&](std::u16string_view mac) {
        return std::async(std::launch::async, [&, mac] {
            CAccessControlItem entry;
            SplitMacText(mac, entry);
            const bool added = queue.AskAndWait(caller, entry);
            return added ? entry.name : std::u16string(u"declined");
        });
    };
    auto first = ask(u"00:00:00:00:00:01");
    ASSERT_TRUE(testing::WaitUntil([&] {
        bool showing = false;
        loop.Do([&] { showing = queue.Showing(); });
        return showing;
    }));
    auto second = ask(u"00:00:00:00:00:02");
    ASSERT_TRUE(testing::WaitUntil([&] {
        std::size_t waiting = 0;
        loop.Do([&] { waiting = queue.Waiting(); });
        return waiting == 1;
    }));
    loop.Do([&] {
        // The later question waits behind the one on screen.
        EXPECT_EQ(shown, std::vector<std::u16string>{u"00:00:00:00:00:01"});
        CAccessControlItem confirmed;
        SplitMacText(u"00:00:00:00:00:01", confirmed);
        confirmed.name = u"Lane 1";
        queue.Finish(confirmed);
    });
    EXPECT_EQ(first.get(), u"Lane 1");
    loop.Do([&] {
        EXPECT_EQ(shown.size(), 1u);  // the next comes only from the event loop
        queue.ShowNext();
        EXPECT_EQ(shown.back(), u"00:00:00:00:00:02");
        queue.Finish(std::nullopt);
    });
    EXPECT_EQ(second.get(), u"declined");

    // Closing releases a connection still waiting for its answer.
    auto third = ask(u"00:00:00:00:00:03");
    ASSERT_TRUE(testing::WaitUntil([&] {
        std::size_t count = 0;
        loop.Do([&] { count = shown.size(); });
        return count == 3;
    }));
    loop.Do([&] { caller.Close(); });
    EXPECT_EQ(third.get(), u"declined");
}

}  // namespace
}  // namespace kestrom
