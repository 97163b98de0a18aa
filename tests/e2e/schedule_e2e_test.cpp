// "SRQ" against a running kestromd: the worked schedule walk on one connection, byte-exact with
// the +71 scrambling in single-byte mode and plain in Unicode mode.
#include <gtest/gtest.h>

#include "daemon_harness.h"

namespace kestrom::e2e {
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

std::u16string Shift(std::u16string_view text, int offset) {
    std::u16string out(text);
    for (char16_t& c : out) c = static_cast<char16_t>(c + offset);
    return out;
}

std::string SrpBytes(std::string_view payload, int charMode) {
    std::string body;
    for (unsigned char c : payload)
        body += charMode == 0 ? static_cast<char>(c + 71) : static_cast<char>(c);
    const size_t size = payload.size() * (charMode == 0 ? 1 : 2) + 3;
    std::string text = "\x01SRP,PSZ=" + std::to_string(size) + "\x02";
    if (charMode == 0) return text + body + "\x03\x04";
    std::string wide;
    for (char c : text) wide += std::string{c, '\0'};
    for (char c : body) wide += std::string{c, '\0'};
    return wide + std::string("\x03\0\x04\0", 4);
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
            BuildRequest(u"SRQ", charMode == 0 ? Shift(payload, 71) : std::u16string(payload))));
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
}  // namespace kestrom::e2e
