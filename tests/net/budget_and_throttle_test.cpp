#include <gtest/gtest.h>

#include <thread>

#include "base/MemoryBudget.h"
#include "net/LogThrottle.h"

namespace kestrom {
namespace {

using namespace std::chrono_literals;

TEST(MemoryBudget, TakesWhatFitsAndRefusesWhatWouldPassTheLimit) {
    CMemoryBudget budget(1000);
    EXPECT_TRUE(budget.TryAcquire(600));
    EXPECT_FALSE(budget.TryAcquire(401));
    EXPECT_TRUE(budget.TryAcquire(400));
    EXPECT_EQ(budget.Used(), 1000u);
    budget.Release(600);
    EXPECT_EQ(budget.Used(), 400u);
    // Asking without waiting never gets more than the whole budget, even when it is empty.
    budget.Release(400);
    EXPECT_FALSE(budget.TryAcquire(1001));
}

TEST(MemoryBudget, AWaitingHolderGetsItsBytesWhenAnotherLetsGo) {
    CMemoryBudget budget(1000);
    ASSERT_TRUE(budget.TryAcquire(900));
    EXPECT_FALSE(budget.Acquire(200, 50ms));  // nobody lets go
    std::thread releaser([&] {
        std::this_thread::sleep_for(50ms);
        budget.Release(900);
    });
    EXPECT_TRUE(budget.Acquire(200, 30s));
    releaser.join();
    EXPECT_EQ(budget.Used(), 200u);
}

TEST(MemoryBudget, AReplyLargerThanTheWholeBudgetGoesAloneAndIsNeverStarved) {
    CMemoryBudget budget(1000);
    ASSERT_TRUE(budget.Acquire(10, 0ms));
    EXPECT_FALSE(budget.Acquire(5000, 20ms));
    budget.Release(10);
    EXPECT_TRUE(budget.Acquire(5000, 0ms));
    EXPECT_FALSE(budget.Acquire(1, 0ms));  // nothing else while it is held
    { CBudgetHold hold(budget, 5000); }    // the hold gives it back
    EXPECT_EQ(budget.Used(), 0u);
}

TEST(LogThrottle, OneLineAnIntervalAndTheNextSaysHowManyWereHeldBack) {
    CLogThrottle throttle(10s);
    const auto t0 = CLogThrottle::Clock::now();
    EXPECT_EQ(throttle.Pass(u"LIMIT", t0), u"LIMIT");
    EXPECT_FALSE(throttle.Pass(u"LIMIT", t0 + 1s));
    EXPECT_FALSE(throttle.Pass(u"LIMIT", t0 + 9s));
    EXPECT_EQ(throttle.Pass(u"LIMIT", t0 + 10s), u"LIMIT (2 more not logged)");
    EXPECT_EQ(throttle.Pass(u"LIMIT", t0 + 25s), u"LIMIT");
}

}  // namespace
}  // namespace kestrom
