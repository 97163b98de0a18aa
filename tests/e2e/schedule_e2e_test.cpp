// "SRQ" against a running kestromd: the worked schedule walk on one connection, byte-exact with
// the +71 scrambling in single-byte mode and plain in Unicode mode.
#include <gtest/gtest.h>

#include "daemon_harness.h"

namespace kestrom::testing {
namespace {

constexpr const char* kMeet =
    "1,1,1,100m,TR Men\r\n"
    " 1,Runner\r\n"
    "3,1,1,Long Jump,LJ Women\r\n"
    " 11,Jumper A\r\n"
    "; scratched\r\n"
    " 12,Jumper B\r\n"
    "3,1,2,Long Jump,LJ Men\r\n"
    " 21,Jumper C\r\n"
    "9,1,1,Shot,SP Men\r\n";

// The reply to a schedule request: the text scrambled in single-byte mode, plain otherwise.
std::string SrpBytes(std::string_view payload, int charMode) {
    const WireMode mode = WireModeOf(charMode);
    const std::u16string text = Decode(payload, WireMode::kSingleByte);
    return Encode(
        BuildReplyRecord(u"SRP", mode == WireMode::kSingleByte ? Scramble(text) : text, mode),
        mode);
}

void WalkTheMeet(int charMode) {
    CDaemonHarness::Options options;
    options.charMode = charMode;
    CDaemonHarness d(options);
    ASSERT_TRUE(d.Running()) << d.Stderr() << d.Stdout();
    ASSERT_TRUE(WriteFile(d.EventDir() + "/orvo.evt", kMeet));
    auto c = d.Connect();
    ASSERT_TRUE(c);
    const auto ask = [&](std::u16string_view payload) -> std::string {
        EXPECT_TRUE(c->SendText(
            BuildRequest(u"SRQ", charMode == 0 ? Scramble(payload) : std::u16string(payload))));
        const auto reply = c->ReceiveReply();
        return reply ? reply->bytes : "<no reply>";
    };
    EXPECT_EQ(ask(u"0,0,0,+"), SrpBytes("3,1,1,Long Jump,LJ Women\r\n", charMode));
    EXPECT_EQ(ask(u"3,1,1,+"), SrpBytes("3,1,2,Long Jump,LJ Men\r\n", charMode));
    EXPECT_EQ(ask(u"3,1,2,+"), SrpBytes("9,1,1,Shot,SP Men\r\n", charMode));
    EXPECT_EQ(ask(u"9,1,1,+"), SrpBytes("", charMode));
    EXPECT_EQ(ask(u"3,1,1"),
              SrpBytes("3,1,1,Long Jump,LJ Women\r\n 11,Jumper A\r\n 12,Jumper B\r\n", charMode));
    EXPECT_EQ(ask(u"1,1,1"), SrpBytes("", charMode));
    EXPECT_EQ(ask(u"3,1"), SrpBytes("", charMode));
    EXPECT_TRUE(d.WaitForLog("(3,1,2) Start List Request"));
}

TEST(ScheduleEndToEnd, WorkedWalkSingleByteModeScrambled) {
    WalkTheMeet(0);
}

TEST(ScheduleEndToEnd, WorkedWalkUnicodeModePlain) {
    WalkTheMeet(1);
}

}  // namespace
}  // namespace kestrom::testing
