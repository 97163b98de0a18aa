// Event file, results, next results, results-changed and image requests over a meet folder.
#include <gtest/gtest.h>

#include <string>

#include "base/FileEx.h"
#include "meetdata/Readers.h"
#include "upload_fixture.h"
#include "wire/CommandTable.h"

namespace kestrom::testing {
namespace {

std::u16string Message(std::string_view code, std::string_view payload) {
    return u"\x0001" + U16(code) + u"\x0002" + U16(payload) + u"\x0003\x0004";
}

class ReadRequests : public CUploadFixture {
  protected:
    // A time that is a whole local date stamp.
    TimeValue Stamp(std::u16string_view s) { return ReadDateStamp(s).value(); }
    std::string StampText(TimeValue t) { return ToUtf8(FormatDateStamp(t)); }

    std::string Send(RequestKind kind, std::string_view code, std::string_view payload) {
        return Dispatch(kind, Message(code, payload));
    }

    const TimeValue fileTime_ = Stamp(u"10300012062024");  // 10:30:00 12 June 2024
    const std::string older_ = "10300011062024";           // a day before
};

// --- Event file requests ---------------------------------------------------------------

TEST_F(ReadRequests, EventFileSentWithStampAndCrLfWhenNewerElseEmpty) {
    WriteBytes(Event("orvo.evt"), "; meet\n\n1,1,1,100m,TR\n 101,Ann\r2,1,1,Long Jump,LJ\n");
    SetMTime(Event("orvo.evt"), fileTime_);

    // Line ends are decided by the first one met (LF), so the lone CR stays inside its line.
    const std::string expected = "10300012062024,1,1,1,100m,TR\r\n 101,Ann\r2,1,1,Long Jump,LJ\r\n";
    EXPECT_EQ(Send(RequestKind::kWenlowEventFile, "ERQ", older_), Reply("ERP", expected));
    EXPECT_EQ(Log(), (std::vector<std::u16string>{u"(Wenlow) Event File Request"}));

    EXPECT_EQ(Send(RequestKind::kClerkOrvoEventFile, "ECQ", "10300012062024"), Reply("ERP"));
    EXPECT_EQ(Send(RequestKind::kEventFileHeaders, "HRQ", "10300012062024"), Reply("HRP"));
    EXPECT_EQ(Send(RequestKind::kEventFileHeaders, "HRQ", older_),
              Reply("HRP", "10300012062024,1,1,1,100m,TR\r\n"));
    EXPECT_EQ(op_.lines.back().text, u"(ClerkOrvo)Event File Headers Request");
}

TEST_F(ReadRequests, EventFileInUnicodeModeDoublesTheSize) {
    SetCharMode(1);
    WriteBytes(Event("orvo.evt"), "1,1,1,x\r\n");
    SetMTime(Event("orvo.evt"), fileTime_);
    const std::string reply = Send(RequestKind::kClerkOrvoEventFile, "ECQ", older_);
    EXPECT_EQ(reply, Reply("ERP", "10300012062024,1,1,1,x\r\n"));
    EXPECT_NE(reply.find("PSZ=\x00"
                         "5\x00"
                         "3\x00",
                         0, 0),
              std::string::npos);
}

TEST_F(ReadRequests, HyWireRequestReadsOnlyHyWireFile) {
    WriteBytes(Event("orvo.evt"), "1,1,1,x\n");
    EXPECT_EQ(Send(RequestKind::kHyWireEventFile, "EHQ", older_), Reply("NLS"));
    const std::u16string path = FromUtf8(Event("hywire.evt").string());
    EXPECT_EQ(Log().back(), u"ERROR FINDING EVENT FILE: " + path);
    EXPECT_EQ(op_.lines.back().level, LogLevel::kError);
}

TEST_F(ReadRequests, EventFileIncompleteOrBadStampIsRefused) {
    WriteBytes(Event("orvo.evt"), "1,1,1,x\n");
    // STX but no ETX: refused although the stamp after STX is complete.
    EXPECT_EQ(Dispatch(RequestKind::kWenlowEventFile,
                       u"\x0001"
                       "ERQ\x0002"
                       "10300011062024\x0004"),
              Reply("NLS"));
    EXPECT_EQ(Log().back(), u"INCOMPLETE COMMAND WHILE LOADING THE EVENT FILE");
    EXPECT_EQ(Send(RequestKind::kWenlowEventFile, "ERQ", "25000011062024"), Reply("NLS"));
    EXPECT_EQ(Log().back(), u"INCOMPLETE COMMAND WHILE LOADING THE EVENT FILE");
}

TEST_F(ReadRequests, UnopenableEventFileIsAnsweredNlsWithItsCause) {
    // Both ways of sending the file, streamed (ECQ) and gathered (HRQ), log the open failure
    // with the cause after two blanks, and answer.
    WriteBytes(Event("orvo.evt"), "1,1,1,x\n");
    CFileEx holder(FromUtf8(Event("orvo.evt").string()));
    ASSERT_TRUE(holder.Open(CFileEx::modeRead | CFileEx::shareExclusive));
    const std::u16string line =
        u"ERROR OPENING EVENT FILE  CAUSE: SHARE.EXE was not loaded, or a shared region was "
        u"locked.";
    EXPECT_EQ(Send(RequestKind::kClerkOrvoEventFile, "ECQ", older_), Reply("NLS"));
    EXPECT_EQ(Log().back(), line);
    EXPECT_EQ(Send(RequestKind::kEventFileHeaders, "HRQ", older_), Reply("NLS"));
    EXPECT_EQ(Log().back(), line);
    EXPECT_EQ(op_.lines.back().level, LogLevel::kError);
}

TEST_F(ReadRequests, DateComparisonAnswersOneZeroMinusOne) {
    WriteBytes(Event("orvo.evt"), "1,1,1,x\n");
    SetMTime(Event("orvo.evt"), fileTime_);
    EXPECT_EQ(Send(RequestKind::kEventFileDateStamp, "EDQ", older_), Reply("EDP", "1"));
    EXPECT_EQ(Send(RequestKind::kEventFileDateStamp, "EDQ", "10300012062024"), Reply("EDP", "0"));
    EXPECT_EQ(Send(RequestKind::kEventFileDateStamp, "EDQ", "10300013062024"), Reply("EDP", "-1"));
    EXPECT_TRUE(Log().empty());  // no request line for EDQ
    EXPECT_EQ(Send(RequestKind::kEventFileDateStamp, "EDQ", "12006001012000"), Reply("NLS"));
    EXPECT_EQ(Log().back(), u"INCOMPLETE COMMAND RECEIVING EVENT FILE DATE STAMP REQUEST");
    std::filesystem::remove(Event("orvo.evt"));
    EXPECT_EQ(Send(RequestKind::kEventFileDateStamp, "EDQ", older_), Reply("NLS"));
    EXPECT_EQ(Log().back().rfind(u"ERROR FINDING EVENT FILE: ", 0), 0u);
}

// --- Results requests ------------------------------------------------------------------

TEST_F(ReadRequests, ResultsRequestPrefersDashNameAndNormalisesLineEnds) {
    WriteBytes(Results("007103.qff"), "compact\n");
    SetMTime(Results("007103.qff"), fileTime_);
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3"),
              Reply("RRP", "10300012062024,compact\r\n"));
    EXPECT_EQ(Log().back(), u"(FieldOrvo)Results Request (7-1-3)");

    WriteBytes(Results("007-1-03.qff"), "a\rb\r\rc");
    SetMTime(Results("007-1-03.qff"), fileTime_);
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3"),
              Reply("RRP", "10300012062024,a\r\nb\r\n\r\nc\r\n"));
}

TEST_F(ReadRequests, ResultsEmptyFileAndCtrlZ) {
    WriteBytes(Results("007-1-03.qff"), "");
    SetMTime(Results("007-1-03.qff"), fileTime_);
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3"),
              Reply("RRP", "10300012062024,"));
    WriteBytes(Results("007-1-03.qff"), "x\x1ay\r\n");
    SetMTime(Results("007-1-03.qff"), fileTime_);
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3"),
              Reply("RRP", "10300012062024,x\r\ny\r\n"));
}

TEST_F(ReadRequests, WenlowMatchesAnyQFileAndHyWireUsesFourDigits) {
    WriteBytes(Results("007-1-03.qrf"), "w\n");
    SetMTime(Results("007-1-03.qrf"), fileTime_);
    EXPECT_EQ(Send(RequestKind::kWenlowResultsRequest, "RRQ", "7,1,3"),
              Reply("RRP", "10300012062024,w\r\n"));
    EXPECT_EQ(Log().back(), u"(Wenlow)Results Request (7-1-3)");

    WriteBytes(Results("007-1-03.hyf"), "three digits\n");
    EXPECT_EQ(Send(RequestKind::kHyWireResultsRequest, "RHQ", "7,1,3"), Reply("NLR"));
    EXPECT_EQ(Log().back(),
              u"ERROR FINDING RESULTS FILE: " + FromUtf8(Results("0007103.hyf").string()));
    WriteBytes(Results("0007103.hyf"), "h\n");
    SetMTime(Results("0007103.hyf"), fileTime_);
    EXPECT_EQ(Send(RequestKind::kHyWireResultsRequest, "RHQ", "7,1,3"),
              Reply("RRP", "10300012062024,h\r\n"));
    EXPECT_EQ(Log().back(), u"(HY-WIRE)Results Request (7-1-3)");
}

TEST_F(ReadRequests, ResultsFailures) {
    // No ETX: incomplete.
    EXPECT_EQ(Dispatch(RequestKind::kFieldOrvoResultsRequest,
                       u"\x0001RFQ\x0002"
                       "1,1,1\x0004"),
              Reply("NLR"));
    EXPECT_EQ(Log().back(), u"INCOMPLETE COMMAND RECEIVING RESULTS CHANGED REQUEST");
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,x,3"), Reply("NLR"));
    EXPECT_EQ(op_.lines.back().level, LogLevel::kError);
    // A minus mark, or a plus for Wenlow: nothing is sent or logged.
    const size_t lines = Log().size();
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3,-"), "");
    EXPECT_EQ(Send(RequestKind::kWenlowResultsRequest, "RRQ", "7,1,3,+"), "");
    EXPECT_EQ(Log().size(), lines);
}

TEST_F(ReadRequests, UnopenableResultsFileIsAnsweredNlr) {
    // A file held without sharing by another open is found but cannot be opened: logged
    // with its cause and answered, so the client does not wait for ever.
    WriteBytes(Results("007-1-03.qff"), "x\n");
    CFileEx holder(FromUtf8(Results("007-1-03.qff").string()));
    ASSERT_TRUE(holder.Open(CFileEx::modeRead | CFileEx::shareExclusive));
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3"), Reply("NLR"));
    EXPECT_EQ(Log().back(),
              u"ERROR OPENING RESULTS FILE: " + FromUtf8(Results("007-1-03.qff").string()) +
                  u".  CAUSE: SHARE.EXE was not loaded, or a shared region was locked.");
    EXPECT_EQ(op_.lines.back().level, LogLevel::kError);
}

TEST_F(ReadRequests, NextResultsWalksTheHeatsInNameOrder) {
    for (auto name : {"007-1-02.qff", "007-1-01.qff", "007-1-03.qff", "007-2-01.qff"}) {
        WriteBytes(Results(name), name);
        SetMTime(Results(name), fileTime_);
    }
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,0,+"),
              Reply("RRP", "10300012062024,007-1-01.qff\r\n"));
    EXPECT_EQ(Log().back(), u"(FieldOrvo)Results Request (007-1-01)");
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,2,+"),
              Reply("RRP", "10300012062024,007-1-03.qff\r\n"));
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3,+"), Reply("NLR"));
    EXPECT_EQ(Log().back(), u"(FieldOrvo)Results Request (007-1-03) - No more results");
    // A heat that is not listed under either name.
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,9,+"), Reply("NLR"));
    EXPECT_EQ(Log().back(), u"(FieldOrvo)Results Request (007109) - No more results");
    // No file of the round at all: NLR without a line.
    const size_t lines = Log().size();
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,3,0,+"), Reply("NLR"));
    EXPECT_EQ(Log().size(), lines);
}

TEST_F(ReadRequests, NextResultsListsCompactNamesBeforeDashNames) {
    for (auto name : {"007-1-01.qff", "007102.qff", "007103.qff"}) {
        WriteBytes(Results(name), name);
        SetMTime(Results(name), fileTime_);
    }
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,0,+"),
              Reply("RRP", "10300012062024,007102.qff\r\n"));
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,2,+"),
              Reply("RRP", "10300012062024,007103.qff\r\n"));
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3,+"),
              Reply("RRP", "10300012062024,007-1-01.qff\r\n"));
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,1,+"), Reply("NLR"));
}

// --- Results-changed requests ----------------------------------------------------------

class ResultsChangedRequests : public ReadRequests {
  protected:
    void SetUp() override {
        ReadRequests::SetUp();
        for (auto name : {"007-1-03.qff", "007104.qff", "007-2-01.qrf", "008-1-01.qff",
                          "0007-1-03.hyf", "notes.txt", "x07-1-01.qff"}) {
            WriteBytes(Results(name), "r\n");
            SetMTime(Results(name), fileTime_);
        }
    }
};

TEST_F(ResultsChangedRequests, ModeIListsOnlyNamedFilesThatAreNewer) {
    const std::string payload = "I2,7,1,3," + older_ + ",7,1,4,10300012062024";
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", payload), Reply("DRP", "1,7,1,3"));
    EXPECT_EQ(Log(), (std::vector<std::u16string>{u"(Wenlow) Results Changed Request"}));
}

TEST_F(ResultsChangedRequests, ModeEAndRTakeInUnlistedFilesOfTheFirstEntry) {
    const std::string entries = "2,7,1,3,10300012062024,7,1,4,10300012062024";
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", "E" + entries),
              Reply("DRP", "1,7,2,1"));
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", "R" + entries), Reply("DRP"));
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", entries),
              Reply("DRP", "2,7,2,1,8,1,1"));
    // Without entries, E and R take in every file (the name order of the scan).
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", "E0,"),
              Reply("DRP", "4,7,1,3,7,2,1,7,1,4,8,1,1"));
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", "R0,"),
              Reply("DRP", "4,7,1,3,7,2,1,7,1,4,8,1,1"));
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", "0,"),
              Reply("DRP", "4,7,1,3,7,2,1,7,1,4,8,1,1"));
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", "I0,"), Reply("DRP"));
}

TEST_F(ResultsChangedRequests, HyWireScansOnlyHyfFiles) {
    EXPECT_EQ(Send(RequestKind::kHyWireResultsChanged, "DHQ", "0,"), Reply("DRP", "1,7,1,3"));
    EXPECT_EQ(Log().back(), u"(HY-WIRE) Results Changed Request");
}

TEST_F(ResultsChangedRequests, BadEntriesAreSkippedAndLogged) {
    const std::string payload = "I3,7,x,3," + older_ + ",7,1,3,25000001011999,7,1,3," + older_;
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", payload), Reply("DRP", "1,7,1,3"));
    EXPECT_EQ(Log(), (std::vector<std::u16string>{
                         u"(Wenlow) Results Changed Request",
                         u"INCOMPLETE COMMAND RECEIVING RESULTS CHANGED REQUEST (2 ENTRIES "
                         u"SKIPPED)"}));
}

TEST_F(ResultsChangedRequests, IncompleteOrCommaLessRequestsGetAnEmptyList) {
    EXPECT_EQ(Dispatch(RequestKind::kWenlowResultsChanged,
                       u"\x0001"
                       "DRQ\x0002"
                       "0,\x0004"),
              Reply("DRP"));
    EXPECT_EQ(Log(),
              (std::vector<std::u16string>{u"INCOMPLETE COMMAND WHILE LOADING THE EVENT FILE",
                                           u"(Wenlow) Results Changed Request"}));
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", "0"), Reply("DRP"));
    // A count larger than the entries sent: one line, not one per missing entry.
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", "I99999999,7,1,3," + older_),
              Reply("DRP", "1,7,1,3"));
    EXPECT_EQ(Log().back(), u"INCOMPLETE COMMAND RECEIVING RESULTS CHANGED REQUEST");
    EXPECT_EQ(Log().size(), 5u);
}

// --- Image requests --------------------------------------------------------------------

TEST_F(ReadRequests, ImageOfThousandBytesFollowsTheHeaderUnchanged) {
    std::string picture;
    for (int i = 0; i < 1000; ++i) picture += static_cast<char>(i * 7);
    WriteBytes(Results("007103.jpg"), picture);  // only the compact name exists
    SetMTime(Results("007103.jpg"), fileTime_);
    for (int mode : {0, 1}) {
        SetCharMode(mode);
        const std::string reply = Send(RequestKind::kImageRequest, "IRQ", "7,1,3," + older_);
        EXPECT_EQ(reply, std::string("\x01RFI,PSZ=1000\x02"
                                     "10300012062024,") +
                             picture);
    }
    EXPECT_TRUE(Log().empty());
}

TEST_F(ReadRequests, EmptyImageReplyIsTwelveBytesInBothModes) {
    const std::string empty("\x01\x52\x46\x49\x2C\x50\x53\x5A\x3D\x30\x02\x03", 12);
    WriteBytes(Results("007-1-03.jpg"), "jpeg");
    SetMTime(Results("007-1-03.jpg"), fileTime_);
    for (int mode : {0, 1}) {
        SetCharMode(mode);
        EXPECT_EQ(Send(RequestKind::kImageRequest, "IRQ", "7,1,3,10300012062024"), empty);
    }
    EXPECT_TRUE(Log().empty());
    // Refusals: each logs and answers with the empty reply.
    for (const std::string& payload : std::vector<std::string>{
             "7,1,3", "7,,1,3," + older_, "7,1,x," + older_, "7,1,3,25000001011999"}) {
        EXPECT_EQ(Send(RequestKind::kImageRequest, "IRQ", payload), empty) << payload;
        EXPECT_EQ(Log().back(), u"INCOMPLETE COMMAND RECEIVING FINISHORVO IMAGE REQUEST");
    }
    EXPECT_EQ(Send(RequestKind::kImageRequest, "IRQ", "7,1,4," + older_), empty);
    EXPECT_EQ(Log().back(),
              u"ERROR FINDING FINISHORVO IMAGE FILE: " + FromUtf8(Results("007104.jpg").string()));
}

// A device (or an attacker) sending a million unreadable entries costs one error line, not a
// million: the error count goes up once and the log stays readable.
TEST_F(ResultsChangedRequests, AMillionBadEntriesGiveOneCountedLine) {
    std::string payload = "1000000,";
    for (int i = 0; i < 1000000; ++i) payload += ",,,,";
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", payload),
              Reply("DRP", "4,7,1,3,7,2,1,7,1,4,8,1,1"));
    EXPECT_EQ(Log(), (std::vector<std::u16string>{
                         u"(Wenlow) Results Changed Request",
                         u"INCOMPLETE COMMAND RECEIVING RESULTS CHANGED REQUEST (1000000 ENTRIES "
                         u"SKIPPED)"}));
    int errors = 0;
    for (const auto& line : op_.lines) errors += line.level == LogLevel::kError;
    EXPECT_EQ(errors, 1);
}

}  // namespace
}  // namespace kestrom::testing
