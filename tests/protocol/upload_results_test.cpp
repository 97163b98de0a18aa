#include <atomic>
#include <thread>

#include "base/FileEx.h"
#include "upload_fixture.h"
#include "wire/CommandTable.h"
#include "wire/Records.h"
#include "wire/RequestGrammar.h"

namespace kestrom::testing {
namespace {

class ResultsUpload : public CUploadFixture {
  protected:
    // The message a device sends: payload scrambled in mode 0, checksum computed.
    std::u16string Upload(std::u16string_view code, std::u16string_view text) {
        const std::u16string payload = charMode_ == 0 ? Scramble(text) : std::u16string(text);
        return BuildUploadMessage(code, payload, charMode_ == 1);
    }
};

TEST_F(ResultsUpload, RffInSingleByteModeStoresCrAsCrLf) {
    EXPECT_EQ(Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", u"7,1,3,LJ\r 1,Ann\r")),
              Reply("ROK"));
    EXPECT_EQ(ReadBytes(Results("007-1-03.qff")), "7,1,3,LJ\r\n 1,Ann\r\n");
    EXPECT_EQ(Log(), (std::vector<std::u16string>{u"(Dev)Receiving Results", u"(7,1,3)"}));
    EXPECT_EQ(op_.balloons, std::vector<std::u16string>{u"FieldOrvo Sent Results for 007-1-03."});
}

TEST_F(ResultsUpload, CrLfLineEndsAreDoubled) {
    Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", u"7,1,3,\r\nx"));
    EXPECT_EQ(ReadBytes(Results("007-1-03.qff")), "7,1,3,\r\n\r\nx");
}

TEST_F(ResultsUpload, UnicodeModeWritesUtf16WithMarkAndCountsHighBytes) {
    SetCharMode(1);
    const std::u16string message = Upload(u"RFF", u"7,1,3,\u00e9\u0141\r");
    EXPECT_EQ(Dispatch(RequestKind::kResultsUpload, message), Reply("ROK"));
    EXPECT_EQ(ReadBytes(Results("007-1-03.qff")), std::string("\xFF\xFE"
                                                              "7\0,\0"
                                                              "1\0,\0"
                                                              "3\0,\0\xE9\0\x41\x01\r\0\n\0",
                                                              22));
    // The same message checked by the single-byte rule (high bytes left out) is refused.
    const size_t etx = message.find(kETX);
    EXPECT_NE(*ComputeUploadChecksum(message, etx, true),
              *ComputeUploadChecksum(message, etx, false));
}

TEST_F(ResultsUpload, WrongChecksumGetsNokThenNsrAndWritesNothing) {
    std::u16string message = Upload(u"RFF", u"7,1,3,x\r");
    const size_t digit = message.find(u"CHK=") + 4 + 7;
    message[digit] = message[digit] == u'0' ? u'1' : u'0';
    EXPECT_EQ(Dispatch(RequestKind::kResultsUpload, message), Reply("NOK") + Reply("NSR"));
    EXPECT_FALSE(std::filesystem::exists(Results("007-1-03.qff")));
    EXPECT_EQ(Log().size(), 2u);  // nothing logged for the checksum itself
}

TEST_F(ResultsUpload, LowerCaseChecksumIsAccepted) {
    std::u16string message = Upload(u"RFF", u"7,1,3,abcdefgh\r");
    const size_t digits = message.find(u"CHK=") + 4;
    ASSERT_NE(message.substr(digits, 8).find_first_of(u"ABCDEF"), std::u16string::npos);
    for (size_t i = digits; i < digits + 8; ++i)
        if (message[i] >= u'A' && message[i] <= u'F')
            message[i] = static_cast<char16_t>(message[i] - u'A' + u'a');
    EXPECT_EQ(Dispatch(RequestKind::kResultsUpload, message), Reply("ROK"));
}

TEST_F(ResultsUpload, KeyIsReadFromTheWholeTextWhenItsFieldsReachFarIn) {
    // A quoted first field whose closing quote stands past the first thousand characters,
    // then a long text without a comma: the key is read as from the whole payload, in both
    // modes, and the stamp of "RFT" too.
    for (const int mode : {0, 1}) {
        SetCharMode(mode);
        const std::u16string sevens = u"\"" + std::u16string(1500, u'7') + u"\",1,3,x\r";
        EXPECT_EQ(Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", sevens)), Reply("ROK"));
        EXPECT_EQ(Log().back(), u"(-32768,1,3)");
        EXPECT_EQ(Dispatch(RequestKind::kResultsUpload,
                           Upload(u"RFF", u"7,1," + std::u16string(3000, u'3'))),
                  Reply("ROK"));
        EXPECT_EQ(Log().back(), u"(7,1,-32768)");
        EXPECT_EQ(Dispatch(RequestKind::kResultsUploadStamped,
                           Upload(u"RFT", u"10300012062099,\"8\"," + std::u16string(2000, u'1') +
                                              u",2,y\r")),
                  Reply("ROK"));
        EXPECT_EQ(Log().back(), u"(8,-32768,2)");
    }
}

TEST_F(ResultsUpload, IncompleteOrUnreadableUploadsAreRefused) {
    const std::u16string bad[] = {
        u"\x0001RFF\x0002xyz\x0004",                                       // no ETX
        Upload(u"RFF", u"7,1\r"),                                          // heat missing
        Upload(u"RFF", u"7,1,40000,\r"),                                   // beyond the 16-bit key
        Upload(u"RFT", u"25000001012024,7,1,3,\r"),                        // hour 25
        Upload(u"RFT", u"12000001011969,7,1,3,\r"),                        // before 1970
        u"\x0001RFF\x0002" + Scramble(u"7,1,3,") + u"\x0003CHK=12\x0004",  // short checksum
    };
    for (const auto& message : bad) {
        op_.lines.clear();
        EXPECT_EQ(Dispatch(RequestKind::kResultsUploadStamped, message), Reply("NSR"));
        EXPECT_EQ(Log().back(), u"INCOMPLETE COMMAND RECEIVING RESULTS");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir_ / "results"));
}

TEST_F(ResultsUpload, RftComparesWithTheCompactFileAndStoresUnderTheDashName) {
    WriteBytes(Results("007103.qff"), "old");
    const std::time_t t = 1700000000;  // a whole second, local stamp below
    SetMTime(Results("007103.qff"), t);
    std::tm local{};
    localtime_r(&t, &local);
    auto stamp = [&](int offset) {
        char s[32];
        std::tm l = local;
        l.tm_sec += offset;
        std::mktime(&l);
        std::snprintf(s, sizeof s, "%02d%02d%02d%02d%02d%04d,", l.tm_hour, l.tm_min, l.tm_sec,
                      l.tm_mday, l.tm_mon + 1, l.tm_year + 1900);
        return U16(s);
    };
    EXPECT_EQ(
        Dispatch(RequestKind::kResultsUploadStamped, Upload(u"RFT", stamp(-1) + u"7,1,3,new\r")),
        Reply("NSR"));
    EXPECT_EQ(Log().back(),
              u"Result file (007103.qff) not stored.  Current result has a newer timestamp");
    EXPECT_FALSE(std::filesystem::exists(Results("007-1-03.qff")));

    EXPECT_EQ(
        Dispatch(RequestKind::kResultsUploadStamped, Upload(u"RFT", stamp(0) + u"7,1,3,new\r")),
        Reply("ROK"));
    EXPECT_EQ(ReadBytes(Results("007-1-03.qff")), "7,1,3,new\r\n");
    EXPECT_EQ(ReadBytes(Results("007103.qff")), "old");
}

TEST_F(ResultsUpload, UploadWhileTheHeatIsHeldIsRefusedAndOldFileStays) {
    WriteBytes(Results("007-1-03.qff"), "previous\r\n");
    CFileEx first(FromUtf8(Results("007-1-03.qff").string()));
    ASSERT_TRUE(first.Open(CFileEx::modeReadWrite | CFileEx::shareExclusive));
    EXPECT_EQ(Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", u"7,1,3,new\r")), Reply("NSR"));
    EXPECT_EQ(Log().back(),
              u"ERROR OPENING RESULTS FILE: " + FromUtf8(Results("007-1-03.qff").string()));
    first.Close();
    EXPECT_EQ(ReadBytes(Results("007-1-03.qff")), "previous\r\n");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "results"), {}), 1);
}

TEST_F(ResultsUpload, FailedCreationLeavesNoFile) {
    std::filesystem::remove_all(dir_ / "results");
    EXPECT_EQ(Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", u"7,1,3,x\r")), Reply("NSR"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "results"));
}

TEST_F(ResultsUpload, ConcurrentUploadsOfOneHeatLeaveOneCompleteVersion) {
    std::vector<std::thread> threads;
    std::vector<std::string> replies(8);
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            const std::u16string text =
                u"7,1,3,v" + U16(std::to_string(i)) + std::u16string(20000, u'x') + u"\r";
            replies[i] = Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", text));
        });
    for (auto& t : threads) t.join();
    int stored = 0;
    for (const auto& r : replies) {
        EXPECT_TRUE(r == Reply("ROK") || r == Reply("NSR"));
        stored += r == Reply("ROK");
    }
    EXPECT_GE(stored, 1);
    const std::string file = ReadBytes(Results("007-1-03.qff"));
    EXPECT_EQ(file.size(), 6 + 2 + 20000 + 2u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "results"), {}), 1);
}

TEST(UploadChecksum, ReadsTheTextAfterEtxOnly) {
    const std::u16string m =
        u"\x0001RFF\x0002"
        u"CHK=00000000\x0003"
        u"CHK=0000001f\x0004";
    EXPECT_EQ(ReadUploadChecksum(m, m.find(kETX)), 0x1fu);
    EXPECT_EQ(ReadUploadChecksum(u"\x0003"
                                 u"CHK=0000000G",
                                 0),
              0xFFu);
}

// Field devices keep fetching a heat while another sends its new results: every fetch gets
// the old or the new file whole, and every upload is stored.
TEST_F(ResultsUpload, FetchesDuringUploadsOfTheSameHeatAreAllServed) {
    WriteBytes(Results("007-1-03.qff"), "7,1,3,first\r\n");
    int stored = 0;
    const std::u16string text = u"7,1,3," + std::u16string(20000, u'x') + u"\r";
    const CPollCounts fetches = PollWhile(
        2, RequestKind::kFieldOrvoResultsRequest,
        u"\x0001RFQ\x0002"
        u"7,1,3\x0003\x0004",
        [](const std::string& reply) { return reply.rfind("\x01RRP", 0) == 0; },
        [&] {
            for (int i = 0; i < 100; ++i)
                stored +=
                    Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", text)) == Reply("ROK");
        });
    EXPECT_EQ(stored, 100);
    EXPECT_EQ(fetches.failed, 0);
    EXPECT_GT(fetches.answered, 0);
}

TEST_F(ResultsUpload, UploadLargerThanTheLimitIsRefusedAndOneAtTheLimitStored) {
    settings_.Update([](CKestromSettings& s) { s.MaxResultsUploadBytes = 100; });
    const std::u16string atLimit = u"7,1,3," + std::u16string(94, u'x');
    EXPECT_EQ(Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", atLimit + u"y")), Reply("NSR"));
    EXPECT_EQ(Log().back(),
              u"Result file (007-1-03.qff) not stored.  The upload of 101 bytes is "
              u"larger than the limit of 100 bytes");
    EXPECT_EQ(op_.lines.back().level, LogLevel::kError);
    EXPECT_FALSE(std::filesystem::exists(Results("007-1-03.qff")));
    EXPECT_EQ(Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", atLimit)), Reply("ROK"));

    // In Unicode mode every character is two bytes of the file.
    SetCharMode(1);
    EXPECT_EQ(
        Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", u"7,1,4," + std::u16string(45, u'x'))),
        Reply("NSR"));
    EXPECT_FALSE(std::filesystem::exists(Results("007-1-04.qff")));

    settings_.Update([](CKestromSettings& s) { s.MaxResultsUploadBytes = 0; });  // no bound
    EXPECT_EQ(Dispatch(RequestKind::kResultsUpload,
                       Upload(u"RFF", u"7,1,4," + std::u16string(4000, u'x'))),
              Reply("ROK"));
}

TEST_F(ResultsUpload, DiskBelowTheReserveRefusesUploadsAndKeepsTheOldFile) {
    WriteBytes(Results("007-1-03.qff"), "old");
    // No disk has this much free: the reserve bites at once.
    settings_.Update([](CKestromSettings& s) { s.ResultsFreeSpaceReserveMB = 2000000000; });
    EXPECT_EQ(Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", u"7,1,3,new\r")), Reply("NSR"));
    const std::u16string line = Log().back();
    EXPECT_EQ(line.rfind(u"Result file (007-1-03.qff) not stored.  Free disk space (", 0), 0u);
    EXPECT_TRUE(line.ends_with(u" MB) is below the reserve of 2000000000 MB"));
    EXPECT_EQ(ReadBytes(Results("007-1-03.qff")), "old");

    settings_.Update([](CKestromSettings& s) { s.ResultsFreeSpaceReserveMB = 0; });
    EXPECT_EQ(Dispatch(RequestKind::kResultsUpload, Upload(u"RFF", u"7,1,3,new\r")), Reply("ROK"));
}

}  // namespace
}  // namespace kestrom::testing
