// "RFF" and "RFT" against a running kestromd: what lands on the disk, byte for byte, and the
// replies and log lines around it.
#include <gtest/gtest.h>
#include <utime.h>

#include <ctime>
#include <filesystem>
#include <vector>

#include "base/TextConvert.h"
#include "daemon_harness.h"
#include "wire/Records.h"
#include "wire/RequestGrammar.h"

namespace kestrom::testing {
namespace {

// The upload as a device sends it: scrambled in single-byte mode.
std::u16string Upload(std::u16string_view code, std::u16string_view text, int charMode) {
    const std::u16string payload = charMode == 0 ? Scramble(text) : std::u16string(text);
    return BuildUploadMessage(code, payload, charMode == 1);
}

// The replies to one message on a new connection: one, or "NOK" and the one after it.
std::vector<std::u16string> Replies(const CDaemonHarness& d, std::u16string_view message) {
    std::vector<std::u16string> codes;
    auto c = d.Connect();
    if (!c || !c->SendText(message)) return codes;
    while (auto reply = c->ReceiveReply(5s)) {
        codes.push_back(reply->code);
        EXPECT_TRUE(reply->payload.empty());
        if (reply->code != u"NOK") break;
    }
    return codes;
}

std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

using Codes = std::vector<std::u16string>;

TEST(UploadResultsE2E, SingleByteModeStoresCrLfForCrAndDoublesCrLf) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    const std::string path = d.ResultsDir() + "/007-1-03.qff";

    EXPECT_EQ(Replies(d, Upload(u"RFF", u"7,1,3,Shot\r 1,Ann,12.50\r", 0)), Codes{u"ROK"});
    EXPECT_EQ(ReadFile(path), "7,1,3,Shot\r\n 1,Ann,12.50\r\n");
    EXPECT_TRUE(d.WaitForLog("(7,1,3)"));
    EXPECT_TRUE(d.WaitForLog("Receiving Results")) << d.Stdout();

    EXPECT_EQ(Replies(d, Upload(u"RFF", u"7,1,3,Shot\r\n 1,Ann,13.00\r\n", 0)), Codes{u"ROK"});
    EXPECT_EQ(ReadFile(path), "7,1,3,Shot\r\n\r\n 1,Ann,13.00\r\n\r\n");
}

TEST(UploadResultsE2E, UnicodeModeStoresUtf16WithByteOrderMark) {
    CDaemonHarness d(
        {.charMode = 1, .start = true, .extraArgs = {}, .runtimeDir = {}, .configDir = {}});
    ASSERT_TRUE(d.Running());
    EXPECT_EQ(Replies(d, Upload(u"RFF", u"12,2,1,Javelin\r 4,\u00C5sa \u03A9,51.20\r", 1)),
              Codes{u"ROK"});
    EXPECT_EQ(ReadFile(d.ResultsDir() + "/012-2-01.qff"),
              "\xFF\xFE" + Utf16Le(u"12,2,1,Javelin\r\n 4,\u00C5sa \u03A9,51.20\r\n"));
    EXPECT_TRUE(d.WaitForLog("(12,2,1)"));
}

TEST(UploadResultsE2E, ChecksumIsCheckedInBothCaseFormsAndAWrongOneWritesNothing) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        CDaemonHarness d(
            {.charMode = mode, .start = true, .extraArgs = {}, .runtimeDir = {}, .configDir = {}});
        ASSERT_TRUE(d.Running());
        const std::string path = d.ResultsDir() + "/007-1-03.qff";
        std::u16string message = Upload(u"RFF", u"7,1,3,Shot\r 1,Ann,12.50\r 2,Bo,11.75\r", mode);
        const size_t hex = message.rfind(u"CHK=") + 4;

        std::u16string wrong = message;
        wrong[hex + 7] = wrong[hex + 7] == u'0' ? u'1' : u'0';
        EXPECT_EQ(Replies(d, wrong), (Codes{u"NOK", u"NSR"}));
        EXPECT_FALSE(std::filesystem::exists(path));

        std::u16string lower = message;
        for (size_t i = hex; i < hex + 8; ++i)
            if (lower[i] >= u'A' && lower[i] <= u'F') lower[i] += u'a' - u'A';
        ASSERT_NE(lower, message);  // the sum has letters to lower
        EXPECT_EQ(Replies(d, lower), Codes{u"ROK"});
        const std::u16string stored = u"7,1,3,Shot\r\n 1,Ann,12.50\r\n 2,Bo,11.75\r\n";
        EXPECT_EQ(ReadFile(path), mode == 0 ? ToUtf8(stored) : "\xFF\xFE" + Utf16Le(stored));
    }
}

TEST(UploadResultsE2E, StampedUploadIsComparedWithTheCompactNamedFile) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    const std::string compact = d.ResultsDir() + "/007103.qff";
    ASSERT_TRUE(WriteFile(compact, "7,1,3,Shot\r\n 1,Old,9.00\r\n"));
    std::tm tm{};
    tm.tm_year = 124, tm.tm_mon = 5, tm.tm_mday = 12, tm.tm_hour = 10, tm.tm_min = 30;
    tm.tm_isdst = -1;
    const std::time_t when = std::mktime(&tm);
    utimbuf t{when, when};
    ASSERT_EQ(::utime(compact.c_str(), &t), 0);

    EXPECT_EQ(Replies(d, Upload(u"RFT", u"10295912062024,7,1,3,Shot\r 1,Ann,12.50\r", 0)),
              Codes{u"NSR"});
    EXPECT_TRUE(
        d.WaitForLog("Result file (007103.qff) not stored.  Current result has a newer timestamp"));
    EXPECT_FALSE(std::filesystem::exists(d.ResultsDir() + "/007-1-03.qff"));

    EXPECT_EQ(Replies(d, Upload(u"RFT", u"10300012062024,7,1,3,Shot\r 1,Ann,12.50\r", 0)),
              Codes{u"ROK"});
    EXPECT_EQ(ReadFile(d.ResultsDir() + "/007-1-03.qff"), "7,1,3,Shot\r\n 1,Ann,12.50\r\n");
    EXPECT_EQ(ReadFile(compact), "7,1,3,Shot\r\n 1,Old,9.00\r\n");
}

TEST(UploadResultsE2E, RefusedUploadsLeaveTheFolderAsItWas) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    const std::string path = d.ResultsDir() + "/007-1-03.qff";
    ASSERT_TRUE(WriteFile(path, "kept"));
    // No heat on the first line, a month 13.
    for (std::u16string_view message :
         {Upload(u"RFF", u"7,1\r 1,Ann\r", 0), Upload(u"RFT", u"10300012132024,7,1,3,x\r", 0)}) {
        EXPECT_EQ(Replies(d, message), Codes{u"NSR"});
    }
    EXPECT_EQ(ReadFile(path), "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d.ResultsDir()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_TRUE(d.WaitForLog("INCOMPLETE COMMAND RECEIVING RESULTS")) << d.Stdout();

    // A heat beyond 16 bits is kept in 16 bits without landing on heat 3 (65539 wrapped).
    EXPECT_EQ(Replies(d, Upload(u"RFF", u"7,1,65539,x\r", 0)), Codes{u"ROK"});
    EXPECT_EQ(ReadFile(path), "kept");
    EXPECT_EQ(ReadFile(d.ResultsDir() + "/007-1--32768.qff"), "7,1,65539,x\r\n");
}

}  // namespace
}  // namespace kestrom::testing
