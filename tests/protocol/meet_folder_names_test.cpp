// Meet folders as Windows software writes them: names in any case, files changed by other
// processes between requests, wide event numbers, and folders that cannot be read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "meetdata/Readers.h"
#include "upload_fixture.h"
#include "wire/CommandTable.h"
#include "wire/Records.h"
#include "wire/RequestGrammar.h"

namespace kestrom::testing {
namespace {

std::u16string Message(std::string_view code, std::string_view payload) {
    return u"\x0001" + U16(code) + u"\x0002" + U16(payload) + u"\x0003\x0004";
}

std::set<std::string> Names(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

class MeetFolderNames : public CUploadFixture {
  protected:
    std::string Send(RequestKind kind, std::string_view code, std::string_view payload) {
        return Dispatch(kind, Message(code, payload));
    }
    bool StartsWith(const std::string& reply, std::string_view code) {
        return reply.rfind("\x01" + std::string(code), 0) == 0;
    }
    std::string Upload(std::u16string_view text) {
        return Dispatch(RequestKind::kResultsUpload,
                        BuildUploadMessage(u"RFF", Scramble(text), false));
    }
    bool Logged(std::u16string_view text) {
        for (const auto& line : Log())
            if (line == text) return true;
        return false;
    }

    const TimeValue fileTime_ = ReadDateStamp(u"10300012062024").value();
    const std::string older_ = "10300011062024";
};

TEST_F(MeetFolderNames, UpperCaseNamesAreServedForEveryRequestKind) {
    WriteBytes(Event("ORVO.EVT"), "3,1,1,Long Jump,LJ\n 11,A\n");
    WriteBytes(Event("HYWIRE.EVT"), "hy\n");
    WriteBytes(Event("ORVO.PPL"), "11,Ann,Lee,F,Club\n");
    WriteBytes(Results("007-1-03.QFF"), "fieldorvo\n");
    WriteBytes(Results("008-1-01.QRF"), "wenlow\n");
    WriteBytes(Results("0007-1-03.HYF"), "hywire\n");
    WriteBytes(Results("007-1-03.JPG"), "JPEGDATA");
    for (const auto& f :
         {Event("ORVO.EVT"), Event("HYWIRE.EVT"), Event("ORVO.PPL"), Results("007-1-03.QFF"),
          Results("008-1-01.QRF"), Results("0007-1-03.HYF"), Results("007-1-03.JPG")})
        SetMTime(f, fileTime_);

    EXPECT_EQ(Send(RequestKind::kEventFileDateStamp, "EDQ", older_), Reply("EDP", "1"));
    EXPECT_EQ(Send(RequestKind::kEventFileHeaders, "HRQ", older_),
              Reply("HRP", "10300012062024,3,1,1,Long Jump,LJ\r\n"));
    const std::string whole = "10300012062024,3,1,1,Long Jump,LJ\r\n 11,A\r\n";
    EXPECT_EQ(Send(RequestKind::kClerkOrvoEventFile, "ECQ", older_), Reply("ERP", whole));
    EXPECT_EQ(Send(RequestKind::kWenlowEventFile, "ERQ", older_), Reply("ERP", whole));
    EXPECT_EQ(Send(RequestKind::kHyWireEventFile, "EHQ", older_),
              Reply("ERP", "10300012062024,hy\r\n"));
    EXPECT_TRUE(StartsWith(Send(RequestKind::kAthleteList, "PRQ", older_), "PRP,PSZ="));
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3"),
              Reply("RRP", "10300012062024,fieldorvo\r\n"));
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,0,+"),
              Reply("RRP", "10300012062024,fieldorvo\r\n"));
    EXPECT_EQ(Send(RequestKind::kWenlowResultsRequest, "RRQ", "8,1,1"),
              Reply("RRP", "10300012062024,wenlow\r\n"));
    EXPECT_EQ(Send(RequestKind::kHyWireResultsRequest, "RHQ", "7,1,3"),
              Reply("RRP", "10300012062024,hywire\r\n"));
    const std::string picture = Send(RequestKind::kImageRequest, "IRQ", "7,1,3," + older_);
    EXPECT_EQ(picture,
              "\x01RFI,PSZ=8\x02"
              "10300012062024,JPEGDATA");
    for (const auto& line : Log())
        EXPECT_EQ(line.find(u"ERROR"), std::u16string::npos) << ToUtf8(line);

    // The schedule reads the same event file (Unicode mode: nothing scrambled).
    SetCharMode(1);
    EXPECT_EQ(Send(RequestKind::kScheduleRequest, "SRQ", "3,1,1"),
              Reply("SRP", "3,1,1,Long Jump,LJ\r\n 11,A\r\n"));
}

TEST_F(MeetFolderNames, UploadOverAnUpperCaseFileLeavesOneFileThatEveryRequestSees) {
    WriteBytes(Results("007-1-03.QFF"), "old\n");
    SetMTime(Results("007-1-03.QFF"), fileTime_);
    EXPECT_EQ(Upload(u"7,1,3,new\r"), Reply("ROK"));
    EXPECT_EQ(Names(dir_ / "results"), std::set<std::string>{"007-1-03.QFF"});
    EXPECT_EQ(ReadBytes(Results("007-1-03.QFF")), "7,1,3,new\r\n");

    const std::string served = Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3");
    EXPECT_NE(served.find("7,1,3,new"), std::string::npos);
    EXPECT_EQ(Send(RequestKind::kWenlowResultsRequest, "RRQ", "7,1,3"), served);
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", "0,"), Reply("DRP", "1,7,1,3"));
}

TEST_F(MeetFolderNames, StartListMergedIntoAnUpperCaseEventFileLeavesOneEventFile) {
    WriteBytes(Event("ORVO.EVT"), "5,1,1,100m\n a\n");
    WriteBytes(Event("ORVOEVT.REN"), "stale");
    const std::string reply = Dispatch(RequestKind::kStartListUpload,
                                       u"\x0001SLS\x0002"
                                       u"5,1,2,100m\r\n b\x0003\x0004");
    EXPECT_TRUE(StartsWith(reply, "ROK,PSZ=17")) << reply;
    EXPECT_EQ(Names(dir_ / "event"), std::set<std::string>{"ORVO.EVT"});
    EXPECT_EQ(ReadBytes(Event("ORVO.EVT")), "5,1,1,100m\n a\n5,1,2,100m\n b\n");
}

TEST_F(MeetFolderNames, EventNumbersAboveTheKeyRangeAreReadLikeAnyOther) {
    WriteBytes(Event("orvo.evt"), "40000,1,1,Long Jump,LJ\n 11,A\n");
    const std::string reply = Dispatch(RequestKind::kStartListUpload,
                                       u"\x0001SLS\x0002"
                                       u"40000,1,1,Long Jump,LJ\n 12,B\x0003\x0004");
    EXPECT_TRUE(StartsWith(reply, "ROK,PSZ=17")) << reply;
    EXPECT_EQ(ReadBytes(Event("orvo.evt")), "40000,1,1,Long Jump,LJ\n 12,B\n");
    EXPECT_FALSE(Logged(u"BAD FORMAT PARSING EVENT FILE"));

    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "40000,1,1"), Reply("NLR"));
    EXPECT_TRUE(Logged(u"(FieldOrvo)Results Request (-25536-1-1)"));
    EXPECT_FALSE(Logged(u"INCOMPLETE COMMAND RECEIVING RESULTS CHANGED REQUEST"));

    SetCharMode(1);
    EXPECT_EQ(Send(RequestKind::kScheduleRequest, "SRQ", "40000,1,1"),
              Reply("SRP", "40000,1,1,Long Jump,LJ\r\n 12,B\r\n"));
    EXPECT_FALSE(Logged(u"BAD FORMAT PARSING EVENT FILE"));
}

TEST_F(MeetFolderNames, AFileAnotherProcessCreatesBetweenTwoRequestsIsSeenByTheSecond) {
    for (int i = 0; i < 20; ++i)
        WriteBytes(Results("001-1-" + std::to_string(10 + i) + ".qff"), "");
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3"), Reply("NLR"));
    EXPECT_EQ(Send(RequestKind::kImageRequest, "IRQ", "7,1,3," + older_),
              std::string("\x01RFI,PSZ=0\x02\x03"));

    const std::string results = Results("007-1-03.QFF").string();
    const std::string picture = Results("007103.JPG").string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (const std::string& path : {results, picture}) {
            const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
            const bool ok = fd >= 0 && ::write(fd, "late\n", 5) == 5;
            ::close(fd);
            if (!ok) ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const std::string served = Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3");
    EXPECT_TRUE(StartsWith(served, "RRP")) << served;
    EXPECT_NE(served.find(",late\r\n"), std::string::npos);
    EXPECT_TRUE(
        StartsWith(Send(RequestKind::kImageRequest, "IRQ", "7,1,3,00000001011990"), "RFI,PSZ=5"));

    std::filesystem::remove(results);
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3"), Reply("NLR"));
}

TEST_F(MeetFolderNames, NamesDifferingOnlyInCaseAreLoggedOnce) {
    WriteBytes(Results("007-1-03.Qff"), "second\n");
    WriteBytes(Results("007-1-03.QFF"), "first\n");
    EXPECT_NE(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3").find(",first\r\n"),
              std::string::npos);
    EXPECT_NE(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,3").find(",first\r\n"),
              std::string::npos);
    int reports = 0;
    for (const auto& line : Log())
        if (line == u"Files differing only in case: 007-1-03.QFF 007-1-03.Qff; using 007-1-03.QFF")
            ++reports;
    EXPECT_EQ(reports, 1);
}

TEST_F(MeetFolderNames, AnUnreadableResultsFolderIsAFailureNotAnEmptyList) {
    std::filesystem::remove_all(dir_ / "results");
    const std::u16string folder = FromUtf8((dir_ / "results").string());
    const std::u16string line =
        u"ERROR FINDING RESULTS FILE: " + folder + u".  CAUSE: All or part of the path is invalid.";
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", "0,"), Reply("NLR"));
    EXPECT_EQ(Log().back(), line);
    EXPECT_EQ(Send(RequestKind::kHyWireResultsChanged, "DHQ", "0,"), Reply("NLR"));
    EXPECT_EQ(Log().back(), line);
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,0,+"), Reply("NLR"));
    EXPECT_EQ(Log().back(), line);
    EXPECT_EQ(op_.lines.back().level, LogLevel::kError);
    // An empty folder is no failure: nothing changed.
    std::filesystem::create_directory(dir_ / "results");
    EXPECT_EQ(Send(RequestKind::kWenlowResultsChanged, "DRQ", "0,"), Reply("DRP"));
    EXPECT_EQ(Send(RequestKind::kFieldOrvoResultsRequest, "RFQ", "7,1,0,+"), Reply("NLR"));
}

TEST_F(MeetFolderNames, MeetFolderWithABackslashInItsNameIsFound) {
    const auto folder = dir_ / "Meet\\2026";
    std::filesystem::create_directory(folder);
    std::ofstream(folder / "orvo.evt", std::ios::binary) << "1,1,1,x\n";
    settings_.Update([&](CKestromSettings& s) { s.EventDirectory = FromUtf8(folder.string()); });
    EXPECT_EQ(Send(RequestKind::kEventFileDateStamp, "EDQ", "10300011061990"), Reply("EDP", "1"));
}

}  // namespace
}  // namespace kestrom::testing
