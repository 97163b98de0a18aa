// A running kestromd over meet folders written the Windows way: upper-case names, a results
// upload over one, and a file the test (another process) creates between two requests.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/TextConvert.h"
#include "daemon_harness.h"
#include "wire/Records.h"
#include "wire/RequestGrammar.h"

namespace kestrom::testing {
namespace {

std::u16string Code(const std::optional<CReply>& reply) {
    return reply ? reply->code : u"(none)";
}

TEST(MeetFolderNamesE2E, UpperCaseNamesAreServedAndAnUploadReplacesTheFileItFinds) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    ASSERT_TRUE(WriteFile(d.EventDir() + "/ORVO.EVT", "7,1,3,Long Jump,LJ\r\n 11,Ann\r\n"));
    ASSERT_TRUE(WriteFile(d.ResultsDir() + "/007-1-03.QFF", "old\r\n"));

    auto events = d.Request(BuildRequest(u"ERQ", u"00000001011990"));
    EXPECT_EQ(Code(events), u"ERP");
    ASSERT_TRUE(events);
    EXPECT_NE(events->payload.find(u"7,1,3,Long Jump,LJ"), std::u16string::npos);

    const std::u16string upload =
        BuildUploadMessage(u"RFF", Scramble(u"7,1,3,new\r"), /*withHighBytes=*/false);
    EXPECT_EQ(Code(d.Request(upload)), u"ROK");
    std::size_t files = 0;
    for (const auto& path : MeetFolderEntries(d.ResultsDir())) {
        ++files;
        EXPECT_EQ(path.filename(), "007-1-03.QFF");
    }
    EXPECT_EQ(files, 1u);
    auto results = d.Request(BuildRequest(u"RRQ", u"7,1,3"));
    EXPECT_EQ(Code(results), u"RRP");
    ASSERT_TRUE(results);
    EXPECT_NE(results->payload.find(u"7,1,3,new"), std::u16string::npos);
}

TEST(MeetFolderNamesE2E, AFileCreatedBetweenTwoRequestsIsSeenByTheSecond) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    for (int i = 10; i < 40; ++i)
        ASSERT_TRUE(WriteFile(d.ResultsDir() + "/001-1-" + std::to_string(i) + ".qff", ""));
    EXPECT_EQ(Code(d.Request(BuildRequest(u"RFQ", u"7,1,3"))), u"NLR");
    ASSERT_TRUE(WriteFile(d.ResultsDir() + "/007-1-03.QfF", "late\r\n"));
    auto reply = d.Request(BuildRequest(u"RFQ", u"7,1,3"));
    EXPECT_EQ(Code(reply), u"RRP");
    std::filesystem::remove(d.ResultsDir() + "/007-1-03.QfF");
    EXPECT_EQ(Code(d.Request(BuildRequest(u"RFQ", u"7,1,3"))), u"NLR");
}

}  // namespace
}  // namespace kestrom::testing
