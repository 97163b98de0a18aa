// The block line reader against CFileEx's own token reader, which the meet-file readers used
// to read through: the same lines and line-end convention for every encoding, line end and
// block boundary, so the replies built from them stay byte for byte what they were.
#include <gtest/gtest.h>

#include <random>
#include <type_traits>
#include <vector>

#include "base/TextConvert.h"
#include "meetdata/EventFile.h"
#include "meetdata/MeetLines.h"
#include "meetdata/PeopleFile.h"
#include "meetdata/Schedule.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

enum class Form { k8Bit, kUtf16Le, kUtf16Be };

std::string Encode(std::u16string_view text, Form form) {
    if (form == Form::k8Bit) {
        std::string bytes;
        for (char16_t c : text) bytes += static_cast<char>(c & 0xFF);
        return bytes;
    }
    std::string bytes = form == Form::kUtf16Le ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t c : text) {
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        bytes += form == Form::kUtf16Le ? lo : hi;
        bytes += form == Form::kUtf16Le ? hi : lo;
    }
    return bytes;
}

class MeetLinesTest : public ::testing::Test {
  protected:
    void Write(const std::string& bytes) { folder_.Put("orvo.evt", bytes); }

    testing::CSandbox folder_;
    const std::u16string path_ = folder_.Wide("orvo.evt");

    struct Lines {
        std::vector<std::u16string> lines;
        LineEnd lineEndMode = LineEnd::kNone;
        bool operator==(const Lines&) const = default;
    };

    // What the token reader gives: LF and Ctrl-Z end a line, nothing skipped.
    Lines ByTokenReader() {
        CFileEx file(path_);
        EXPECT_TRUE(file.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
        file.SetReadEncoding(FileEncoding::kAuto);
        Lines out;
        while (file.NotAtEnd()) {
            std::u16string line;
            file.ReadToken(line, u"\n\x1A", {}, {});
            out.lines.push_back(line);
        }
        out.lineEndMode = file.GetReadLineEndMode();
        return out;
    }

    Lines ByBlockReader() {
        CFileEx file(path_);
        EXPECT_TRUE(file.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
        Lines out;
        ReadMeetFileLines(file, [&](auto& reader) {
            typename std::remove_reference_t<decltype(reader)>::View line;
            while (reader.Next(line)) {
                std::u16string wide;
                AppendLine(wide, line);
                out.lines.push_back(wide);
            }
            out.lineEndMode = reader.LineEndMode();
        });
        return out;
    }

    void ExpectSameLines(const std::string& bytes, const std::string& what) {
        Write(bytes);
        const Lines expected = ByTokenReader();
        const Lines got = ByBlockReader();
        EXPECT_EQ(got.lineEndMode, expected.lineEndMode) << what;
        ASSERT_EQ(got.lines.size(), expected.lines.size()) << what;
        for (size_t i = 0; i < got.lines.size(); ++i)
            ASSERT_EQ(got.lines[i], expected.lines[i]) << what << ", line " << i;
    }
};

TEST_F(MeetLinesTest, EveryLineEndConventionAsTheTokenReaderSettlesIt) {
    const std::vector<std::u16string> cases = {
        u"",
        u"a",
        u"a\r\nb\r\nc",
        u"a\rb\r\nc\r",    // settled CR: a later CR LF leaves an empty line
        u"a\nb\r\nc\n",    // settled LF: the CR stays inside the line
        u"a\n\rb\n\rc\r",  // LF CR, and a lone CR that stays a character
        u"a\r\n\rb\n",     // CR LF, a lone CR still ends a line
        u"\r\n\r\n",       // only line ends
        u"\n\r\r\n",       // LF CR then a CR that is a character, then LF
        u"a\x1A\nb\x1A",   // Ctrl-Z ends a line and leaves the line end for the next
        u"a\r\x1A\nb",     // Ctrl-Z between the CR and its LF
        u"\x1A\x1A",
        u"x\xFF\xFE,\u00E9\r\n",
        u";c\r\n  \r\n\t1,2\r\n",
    };
    for (const auto& text : cases) {
        for (Form form : {Form::k8Bit, Form::kUtf16Le, Form::kUtf16Be}) {
            if (form == Form::k8Bit && text.find(u'\xFF') == 0) continue;
            ExpectSameLines(Encode(text, form), ToUtf8(text));
        }
    }
    // A file of one or two bytes, an 8-bit file that starts like a mark, an odd last byte.
    for (const std::string& bytes : {std::string("\xFF"), std::string("\xFE"),
                                     std::string("\xFF"
                                                 "a\nb"),
                                     std::string("ab"),
                                     std::string("\xFF\xFE"
                                                 "a\0\n\0b",
                                                 7)})
        ExpectSameLines(bytes, "bytes");
}

TEST_F(MeetLinesTest, RandomTextsInEveryEncodingAcrossBlockBoundaries) {
    std::mt19937 random(1950);
    const std::u16string alphabet = u"ab1,; \t\"\r\n\r\n\x1A\u0141";
    for (int round = 0; round < 60; ++round) {
        // Some texts are long enough that lines cross the reader's 64 KiB blocks, and some
        // have a line far longer than a block.
        const size_t size = round % 10 == 0 ? 150000 + random() % 1000 : random() % 300;
        std::u16string text;
        for (size_t i = 0; i < size; ++i) text += alphabet[random() % alphabet.size()];
        if (round % 15 == 7) text.insert(text.size() / 2, std::u16string(200000, u'x'));
        for (Form form : {Form::k8Bit, Form::kUtf16Le, Form::kUtf16Be})
            ExpectSameLines(Encode(text, form), "round " + std::to_string(round));
    }
}

TEST(ReadHeaderKey, AgreesWithTheEventKeyReader) {
    const std::vector<std::u16string> lines = {u"12,1,3,Long Jump,LJ",
                                               u"12,1,3",
                                               u"1,2,3,",
                                               u"0,0,0",
                                               u"9999,9999,9999,x",
                                               u"10000,1,1,x",
                                               u"40000,1,1",
                                               u"32767,1,1",
                                               u"12,1",
                                               u"12,,3",
                                               u"12,a,3",
                                               u"12, 1,3",
                                               u"\"12\",1,3",
                                               u"12,1,3 ,x",
                                               u"12,1,3\"",
                                               u"1,2,3\t",
                                               u"007,01,0002,y",
                                               u"",
                                               u",",
                                               u"1,2,,",
                                               u"12345",
                                               u"1,2,3,+"};
    std::u16string scratch;
    for (const auto& line : lines) {
        CEventInfo expected, fast, narrow;
        const bool ok = ReadEventKey(line, expected);
        EXPECT_EQ(ReadHeaderKey(std::u16string_view(line), fast, scratch), ok) << ToUtf8(line);
        std::string bytes(line.begin(), line.end());
        EXPECT_EQ(ReadHeaderKey(std::string_view(bytes), narrow, scratch), ok) << bytes;
        if (!ok) continue;
        EXPECT_TRUE(fast.SameKey(expected)) << ToUtf8(line);
        EXPECT_TRUE(narrow.SameKey(expected)) << bytes;
    }
}

// The readers over a large file give what the token reader gives, line by line.
TEST_F(MeetLinesTest, LargeEventFileTextAndScheduleMatchTheTokenReader) {
    std::string file = "; championship\r\n";
    for (int e = 1; e <= 6000; ++e) {
        file += std::to_string(e) + ",1,1,Event " + std::to_string(e) + (e % 3 ? ",TR" : ",LJ") +
                "\r\n";
        for (int lane = 1; lane <= 4; ++lane)
            file +=
                "," + std::to_string(lane) + ",Athlete " + std::to_string(e * 10 + lane) + "\r\n";
        if (e % 1000 == 0) file += "\r\n; break\r\n";
    }
    file += "6001,1,1,Last,HJ\r\n 1,x";  // no line end after the last line
    Write(file);

    std::u16string expectedAll, expectedHeaders;
    {
        CFileEx in(path_);
        ASSERT_TRUE(in.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
        in.SetReadEncoding(FileEncoding::kAuto);
        while (in.NotAtEnd()) {
            std::u16string line;
            in.ReadToken(line, u"\n\x1A", {}, {});
            if (line.empty() || line[0] == u';') continue;
            expectedAll += line + u"\r\n";
            if (line[0] != u',' && line[0] != u' ') expectedHeaders += line + u"\r\n";
        }
    }
    std::u16string all, headers;
    ASSERT_TRUE(ReadEventFileText(path_, false, all));
    ASSERT_TRUE(ReadEventFileText(path_, true, headers));
    EXPECT_EQ(all, expectedAll);
    EXPECT_EQ(headers, expectedHeaders);

    EXPECT_EQ(ReadSchedule(path_, CEventInfo(6001, 1, 1, 0), kNoDirection).text,
              u"6001,1,1,Last,HJ\r\n 1,x\r\n");
    EXPECT_EQ(ReadSchedule(path_, CEventInfo(6000, 1, 1, 0), u'+').text, u"6001,1,1,Last,HJ\r\n");
    EXPECT_EQ(ReadSchedule(path_, CEventInfo(3, 1, 1, 0), kNoDirection).text,
              u"3,1,1,Event 3,LJ\r\n,1,Athlete 31\r\n,2,Athlete 32\r\n,3,Athlete 33\r\n"
              u",4,Athlete 34\r\n");
}

}  // namespace
}  // namespace kestrom
