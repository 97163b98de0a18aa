// Event file, results, results-changed and image requests against a running kestromd.
#include <gtest/gtest.h>
#include <utime.h>

#include <ctime>

#include "base/TextConvert.h"
#include "daemon_harness.h"

namespace kestrom::testing {
namespace {

// 10:30:00 on 12 June 2024, local time, and its date stamp.
std::time_t FileTime() {
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 5;
    tm.tm_mday = 12;
    tm.tm_hour = 10;
    tm.tm_min = 30;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}
constexpr const char16_t* kFileStamp = u"10300012062024";
constexpr const char16_t* kOlder = u"10300011062024";

void Place(const std::string& path, std::string_view bytes) {
    ASSERT_TRUE(WriteFile(path, bytes));
    utimbuf t{FileTime(), FileTime()};
    ::utime(path.c_str(), &t);
}

TEST(ReadRequestsE2E, EventFilesOfEveryLineEndAndUtf16AreSentWithCrLf) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    const std::u16string expected = std::u16string(kFileStamp) + u",1,1,1,x\r\n 7,Ann\r\n";
    for (std::string_view file :
         {"1,1,1,x\n 7,Ann\n", "1,1,1,x\r 7,Ann\r", "1,1,1,x\r\n 7,Ann\r\n"}) {
        Place(d.EventDir() + "/orvo.evt", file);
        auto reply = d.Request(BuildRequest(u"ERQ", kOlder));
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->code, u"ERP");
        EXPECT_EQ(reply->payload, expected);
    }
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : std::u16string(u"; c\r\n1,1,1,x\r\n 7,Ann\r\n")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    Place(d.EventDir() + "/orvo.evt", utf16);
    auto reply = d.Request(BuildRequest(u"ECQ", kOlder));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, expected);
    reply = d.Request(BuildRequest(u"HRQ", kOlder));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HRP");
    EXPECT_EQ(reply->payload, std::u16string(kFileStamp) + u",1,1,1,x\r\n");
    reply = d.Request(BuildRequest(u"ERQ", kFileStamp));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, std::string("\x01"
                                        "ERP,PSZ=3\x02\x03\x04"));
    EXPECT_TRUE(d.WaitForLog("(Wenlow) Event File Request"));
}

TEST(ReadRequestsE2E, ResultsPreferDashNamesAndHyWireUsesFourDigits) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    Place(d.ResultsDir() + "/007103.qff", "compact\n");
    Place(d.ResultsDir() + "/007-1-03.qff", "dash\n");
    Place(d.ResultsDir() + "/0007103.hyf", "hy\n");
    auto reply = d.Request(BuildRequest(u"RFQ", u"7,1,3"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, std::u16string(kFileStamp) + u",dash\r\n");
    reply = d.Request(BuildRequest(u"RHQ", u"7,1,3"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, std::u16string(kFileStamp) + u",hy\r\n");
    EXPECT_TRUE(d.WaitForLog("(HY-WIRE)Results Request (7-1-3)"));
}

TEST(ReadRequestsE2E, ResultsChangedModeIAgainstE) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    for (auto name : {"/007-1-03.qff", "/007-1-04.qff", "/007-2-01.qff", "/008-1-01.qff"})
        Place(d.ResultsDir() + name, "r\n");
    const std::u16string entries = u"1,7,1,3," + std::u16string(kOlder);
    auto reply = d.Request(BuildRequest(u"DRQ", u"I" + entries));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, u"1,7,1,3");
    reply = d.Request(BuildRequest(u"DRQ", u"E" + entries));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, u"3,7,1,3,7,1,4,7,2,1");
}

TEST(ReadRequestsE2E, ImagesAreOneBytePerCharacterInUnicodeMode) {
    CDaemonHarness::Options unicode;
    unicode.charMode = 1;
    CDaemonHarness d(unicode);
    ASSERT_TRUE(d.Running());
    std::string picture;
    for (int i = 0; i < 1000; ++i) picture += static_cast<char>(255 - i % 256);
    Place(d.ResultsDir() + "/007103.jpg", picture);
    auto c = d.Connect();
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->SendText(BuildRequest(u"IRQ", u"7,1,3," + std::u16string(kOlder))));
    const std::string header = std::string("\x01RFI,PSZ=1000\x02") + "10300012062024,";
    auto bytes = c->ReceiveBytes(header.size() + 1000);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, header + picture);

    auto c2 = d.Connect();
    ASSERT_TRUE(c2);
    ASSERT_TRUE(c2->SendText(BuildRequest(u"IRQ", u"7,1,3," + std::u16string(kFileStamp))));
    auto empty = c2->ReceiveBytes(12);
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, std::string("\x01RFI,PSZ=0\x02\x03"));
    EXPECT_EQ(c2->ReceiveAvailable(200ms), "");  // no EOT follows
}

TEST(ReadRequestsE2E, APictureOfMegabytesArrivesWholeAndTheConnectionGoesOn) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    // Larger than any socket buffer, so the reply is sent in several goes.
    std::string picture(6 * 1024 * 1024 + 3, '\0');
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<char>((i * 7 + i / 4099) & 0xFF);
    Place(d.ResultsDir() + "/007-1-03.jpg", picture);
    auto c = d.Connect();
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->SendText(BuildRequest(u"IRQ", u"7,1,3," + std::u16string(kOlder))));
    const std::string header =
        "\x01RFI,PSZ=" + std::to_string(picture.size()) + "\x02" + "10300012062024,";
    auto bytes = c->ReceiveBytes(header.size() + picture.size(), 30s);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), header.size() + picture.size());
    EXPECT_TRUE(*bytes == header + picture) << "the picture arrived changed";
    // Nothing more than the picture was sent, and the same connection is answered next.
    ASSERT_TRUE(c->SendText(BuildRequest(u"HFL")));
    auto next = c->ReceiveBytes(5);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->substr(0, 4), "\x01HMM");
}

}  // namespace
}  // namespace kestrom::testing
