// "PRQ" against a running kestromd: the athlete selection rules and the date comparison.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/LocalTime.h"
#include "daemon_harness.h"
#include "support/wire_bytes.h"

namespace kestrom::testing {
namespace {

std::string Bytes(const std::string& code, const std::string& payload) {
    return testing::ReplyBytes(code, payload);
}

TEST(AthleteListEndToEnd, SelectionRulesAndDateComparison) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running()) << d.Stderr() << d.Stdout();
    auto reply = d.Request(BuildRequest(u"PRQ", u"00000001011990"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, Bytes("NLA", ""));
    EXPECT_TRUE(
        d.WaitForLog("ERROR FINDING PEOPLE FILE: " + d.AsDaemonNames(d.EventDir() + "/orvo.ppl")))
        << d.Stdout();

    const std::string path = d.EventDir() + "/orvo.ppl";
    ASSERT_TRUE(WriteFile(path,
                          "; athletes of the meet\r\n"
                          "1,Ann,Lee,F,CLB,2001,\"3,7,12\"\r\n"
                          "2,Bo,Ng,M,CLB,2000,\"3,12\"\r\n"
                          "\r\n"
                          "3,Cy,Ho,M,CLB,1999\r\n"
                          "4,Di,Ko,F,CLB,2002,0\r\n"
                          "5,Ed,Wu,M,CLB,1998,\"5,0\"\r\n"));
    // 09:15:00 on 3 June 2024, local time.
    const std::time_t t = *FromLocalDateTime({2024, 6, 3, 9, 15, 0});
    const timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    reply = d.Request(BuildRequest(u"PRQ", u"09145903062024,7"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, Bytes("PRP",
                                  "09150003062024,"
                                  "1,Ann,Lee,F,CLB,2001,\"3,7,12\"\r\n"
                                  "3,Cy,Ho,M,CLB,1999\r\n"
                                  "4,Di,Ko,F,CLB,2002,0\r\n"
                                  "5,Ed,Wu,M,CLB,1998,\"5,0\"\r\n"));
    reply = d.Request(BuildRequest(u"PRQ", u"09145903062024,65535"));
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->bytes.find("2,Bo,Ng"), std::string::npos);
    // The client's copy is as new as the file: nothing to send.
    reply = d.Request(BuildRequest(u"PRQ", u"09150003062024,7"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, Bytes("PRP", ""));
    reply = d.Request(BuildRequest(u"PRQ", u"0915"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, Bytes("NLA", ""));
    EXPECT_TRUE(d.WaitForLog("INCOMPLETE COMMAND REQUESTING ATHLETE LIST"));
}

}  // namespace
}  // namespace kestrom::testing
