#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/FileCause.h"
#include "base/FileEx.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

using testing::CSandbox;
using namespace std::string_literals;

class FileExRead : public ::testing::Test {
  protected:
    // Reads the whole file character by character, as the parsers do.
    std::u16string ReadAll(const std::string& bytes, CFileEx* keep = nullptr) {
        dir_.Put("f.txt", bytes);
        CFileEx local;
        CFileEx& f = keep ? *keep : local;
        f.SetPath(dir_.Wide("f.txt"));
        EXPECT_TRUE(f.Open(CFileEx::modeRead | CFileEx::shareDenyNone | CFileEx::typeBinary));
        f.SetReadEncoding(FileEncoding::kAuto);
        std::u16string text;
        while (const auto ch = f.ReadChar()) text += *ch;
        return text;
    }
    CSandbox dir_;
};

TEST_F(FileExRead, ByteOrderMarksChooseTheEncodingAndAreNotDelivered) {
    CFileEx f;
    EXPECT_EQ(ReadAll("\xFF\xFE"
                      "A\0\xE9\0\xAC\x20"s,
                      &f),
              u"A\u00E9\u20AC");
    EXPECT_EQ(f.GetReadEncoding(), FileEncoding::kUtf16);
    EXPECT_EQ(f.GetByteOrder(), 0);

    CFileEx g;
    EXPECT_EQ(ReadAll("\xFE\xFF\0A\x20\xAC"s, &g), u"A\u20AC");  // decoded high byte first
    EXPECT_EQ(g.GetByteOrder(), 1);
}

TEST_F(FileExRead, FileWithoutMarkIsEightBit) {
    CFileEx f;
    EXPECT_EQ(ReadAll("caf\xE9", &f), u"caf\u00E9");
    EXPECT_EQ(f.GetReadEncoding(), FileEncoding::k8Bit);
}

TEST_F(FileExRead, BrokenMarkLosesNoByte) {
    EXPECT_EQ(ReadAll("\xFF"
                      "AB"),
              u"\u00FF"
              u"AB");
    EXPECT_EQ(ReadAll("\xFE\xFE"), u"\u00FE\u00FE");
    EXPECT_EQ(ReadAll("\xFF"), u"\u00FF");
}

TEST_F(FileExRead, EachLineEndConventionGivesOneLfPerLine) {
    EXPECT_EQ(ReadAll("a\r\nb\r\n"), u"a\nb\n");
    EXPECT_EQ(ReadAll("a\n\rb\n\r"), u"a\nb\n");
    EXPECT_EQ(ReadAll("a\rb\r"), u"a\nb\n");
    EXPECT_EQ(ReadAll("a\nb\n"), u"a\nb\n");
    EXPECT_EQ(ReadAll("\xFF\xFE"
                      "a\0\r\0\n\0b\0\r\0\n\0"s),
              u"a\nb\n");
}

TEST_F(FileExRead, FirstLineEndFixesTheMode) {
    CFileEx f;
    // After CR LF, a lone CR still ends a line and a lone LF is text.
    EXPECT_EQ(ReadAll("a\r\nb\rc\nd\r\n", &f), u"a\nb\nc\nd\n");
    EXPECT_EQ(f.GetReadLineEndMode(), LineEnd::kCRLF);
    CFileEx g;
    // After a lone LF, a CR is an ordinary character.
    EXPECT_EQ(ReadAll("a\nb\rc\n", &g), u"a\nb\rc\n");
    EXPECT_EQ(g.GetReadLineEndMode(), LineEnd::kLF);
}

TEST_F(FileExRead, ModeNoneTranslatesNothing) {
    dir_.Put("f.txt", "a\r\nb");
    CFileEx f(dir_.Wide("f.txt"));
    ASSERT_TRUE(f.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
    f.SetReadLineEndMode(LineEnd::kNone);
    std::u16string text;
    while (const auto ch = f.ReadChar()) text += *ch;
    EXPECT_EQ(text, u"a\r\nb");
}

TEST_F(FileExRead, EmptyFileEndsAtOnce) {
    dir_.Put("e.txt", "");
    CFileEx f(dir_.Wide("e.txt"));
    ASSERT_TRUE(f.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
    EXPECT_FALSE(f.NotAtEnd());
    std::u16string out = u"kept";
    EXPECT_EQ(f.ReadToken(out, u",\n", u";", u""), -1);
    EXPECT_EQ(out, u"kept");
    EXPECT_EQ(f.ReadChar(), std::nullopt);
}

TEST_F(FileExRead, HalfCharacterAtTheEndEndsTheFile) {
    dir_.Put("odd.txt",
             "\xFF\xFE"
             "a\0b"s);
    CFileEx f(dir_.Wide("odd.txt"));
    ASSERT_TRUE(f.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
    EXPECT_EQ(f.ReadChar(), u'a');
    EXPECT_FALSE(f.NotAtEnd());
    EXPECT_EQ(f.ReadChar(), std::nullopt);
}

TEST_F(FileExRead, LineEndAcrossTheBufferBoundary) {
    // CR as the last byte of one 64 KiB block, its LF the first of the next.
    std::string bytes(65535, 'x');
    bytes += "\r\ny\r\n";
    bytes += std::string(70000, 'z');
    std::u16string text = ReadAll(bytes);
    ASSERT_EQ(text.size(), 65535u + 3 + 70000);
    EXPECT_EQ(text.substr(65534, 4), u"x\ny\n");
}

TEST_F(FileExRead, WhatIsAddedAfterTheEndIsReadAfterASeek) {
    dir_.Put("grow.txt", "ab");
    CFileEx f(dir_.Wide("grow.txt"));
    ASSERT_TRUE(f.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
    EXPECT_EQ(f.ReadChar(), u'a');
    EXPECT_EQ(f.ReadChar(), u'b');
    EXPECT_FALSE(f.NotAtEnd());
    dir_.Put("grow.txt", "abcd");  // rewritten in place, longer
    ASSERT_TRUE(f.Seek(2));
    ASSERT_TRUE(f.NotAtEnd());
    EXPECT_EQ(f.ReadChar(), u'c');
    EXPECT_EQ(f.ReadChar(), u'd');
    EXPECT_FALSE(f.NotAtEnd());

    // A file open for writing as well is read to what it holds at each read.
    CFileEx rw(dir_.Wide("grow.txt"));
    ASSERT_TRUE(rw.Open(CFileEx::modeReadWrite | CFileEx::shareDenyNone | CFileEx::typeBinary));
    char buf[8];
    EXPECT_EQ(rw.Read(buf, sizeof buf), 4u);
    ASSERT_TRUE(rw.Write("ef", 2));
    ASSERT_TRUE(rw.SeekToBegin());
    EXPECT_EQ(rw.Read(buf, sizeof buf), 6u);
    EXPECT_EQ(std::string(buf, 6), "abcdef");
}

class FileExToken : public FileExRead {
  protected:
    void OpenWith(const std::string& bytes) {
        dir_.Put("t.txt", bytes);
        file_.SetPath(dir_.Wide("t.txt"));
        ASSERT_TRUE(file_.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
    }
    CFileEx file_;
};

TEST_F(FileExToken, SplitsFieldsAtTerminators) {
    OpenWith("12,Smith John\r\n");
    std::u16string out;
    EXPECT_EQ(file_.ReadToken(out, u",\n", u"", u""), u',');
    EXPECT_EQ(out, u"12");
    out.clear();
    EXPECT_EQ(file_.ReadToken(out, u",\n", u"", u""), u'\n');
    EXPECT_EQ(out, u"Smith John");
    out.clear();
    EXPECT_EQ(file_.ReadToken(out, u",\n", u"", u""), -1);
    EXPECT_EQ(out, u"");
}

TEST_F(FileExToken, CommentAndEmptyLinesAreSkippedWhole) {
    OpenWith(";comment, with comma\n\n\n12,x\n");
    std::u16string out = u">";
    EXPECT_EQ(file_.ReadToken(out, u"\n", u";\n", u""), u'\n');
    EXPECT_EQ(out, u">12,x");
}

TEST_F(FileExToken, CommentAtTheEndLeavesOutAsItWas) {
    OpenWith("a\n;last");
    std::u16string out;
    EXPECT_EQ(file_.ReadToken(out, u"\n", u";", u""), u'\n');
    EXPECT_EQ(out, u"a");
    EXPECT_EQ(file_.ReadToken(out, u"\n", u";", u""), -1);
    EXPECT_EQ(out, u"a");
}

TEST_F(FileExToken, SkippedCharactersAreDroppedAndLastLineNeedsNoTerminator) {
    OpenWith("\"a b\"");
    std::u16string out;
    EXPECT_EQ(file_.ReadToken(out, u"\n", u"", u"\" "), -1);
    EXPECT_EQ(out, u"ab");
}

// Long runs of both byte orders, with units above 255 whose bytes look like stops (U+0A2C holds
// LF and comma bytes) and terminators below and above 256, read as the one-at-a-time reader
// reads them.
TEST_F(FileExToken, Utf16RunsSplitExactlyWhereTheCharactersSay) {
    const std::u16string line1 = u"1,Stra\u00dfe \u20ac\u0A2C long enough for blocks of sixteen";
    const std::u16string line2 = u"\u2028second\u0D0A line, ending in a terminator\u2028";
    const std::u16string text = line1 + u"\r\n" + line2 + u"\r\n";
    auto encode = [&](bool highFirst) {
        std::string bytes = highFirst ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t c : text) {
            const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
            bytes += highFirst ? std::string{hi, lo} : std::string{lo, hi};
        }
        return bytes;
    };
    for (bool highFirst : {false, true}) {
        SCOPED_TRACE(highFirst ? "FE FF" : "FF FE");
        OpenWith(encode(highFirst));
        file_.SetReadEncoding(FileEncoding::kAuto);
        file_.SetReadLineEndMode(LineEnd::kAuto);
        std::u16string out;
        EXPECT_EQ(file_.ReadToken(out, u",\n", u"", u""), u',');
        EXPECT_EQ(out, u"1");
        out.clear();
        EXPECT_EQ(file_.ReadToken(out, u",\n", u"", u""), u'\n');
        EXPECT_EQ(out, line1.substr(2));
        out.clear();
        // A terminator above 255 and a skipped one below.
        EXPECT_EQ(file_.ReadToken(out, u"\u2028\n", u"", u" "), u'\u2028');
        EXPECT_EQ(out, u"");
        EXPECT_EQ(file_.ReadToken(out, u"\u2028\n", u"", u" "), u'\u2028');
        EXPECT_EQ(out, u"second\u0D0Aline,endinginaterminator");
        out.clear();
        EXPECT_EQ(file_.ReadToken(out, u"\n", u"", u""), u'\n');
        EXPECT_EQ(out, u"");
        EXPECT_FALSE(file_.NotAtEnd());
        file_.Close();
    }
}

class FileExWrite : public FileExRead {};

TEST_F(FileExWrite, AutomaticModesOnANewFileGiveUtf16WithCrLf) {
    {
        CFileEx f(dir_.Wide("w.txt"));
        ASSERT_TRUE(f.Open(CFileEx::modeWrite | CFileEx::shareExclusive | CFileEx::modeCreate));
        EXPECT_EQ(f.WriteString(u"a\nb"), 4);
    }
    EXPECT_EQ(dir_.Get("w.txt"), "\x61\0\x0D\0\x0A\0\x62\0"s);
}

TEST_F(FileExWrite, ExplicitModes) {
    {
        CFileEx f(dir_.Wide("w.txt"));
        ASSERT_TRUE(f.Open(CFileEx::modeWrite | CFileEx::shareExclusive | CFileEx::modeCreate));
        f.SetWriteEncoding(FileEncoding::k8Bit);
        f.SetWriteLineEndMode(LineEnd::kLFCR);
        EXPECT_EQ(f.WriteByteOrderMark(), 0);
        EXPECT_EQ(f.WriteString(u"\u20AC\n"), 3);  // low byte only
        f.SetWriteLineEndMode(LineEnd::kCR);
        EXPECT_EQ(f.WriteChar(u'\n'), 1);
    }
    EXPECT_EQ(dir_.Get("w.txt"), "\xAC\n\r\r");
}

TEST_F(FileExWrite, FileReadThenWrittenKeepsItsConventions) {
    dir_.Put("rw.txt", "x\ny\n");
    {
        CFileEx f(dir_.Wide("rw.txt"));
        ASSERT_TRUE(f.Open(CFileEx::modeReadWrite | CFileEx::shareExclusive));
        std::u16string line;
        EXPECT_EQ(f.ReadToken(line, u"\n", u"", u""), u'\n');
        EXPECT_EQ(line, u"x");
        // Writing after a partial read continues at the logical position, not the buffer's end.
        EXPECT_EQ(f.WriteString(u"Z\n"), 2);
    }
    EXPECT_EQ(dir_.Get("rw.txt"), "x\nZ\n");
}

TEST_F(FileExWrite, MarkedUtf16RoundTrip) {
    {
        CFileEx f(dir_.Wide("u.txt"));
        ASSERT_TRUE(f.Open(CFileEx::modeWrite | CFileEx::shareExclusive | CFileEx::modeCreate));
        EXPECT_EQ(f.WriteByteOrderMark(), 1);
        f.WriteString(u"\u00E9\u20AC\nend\n");
    }
    EXPECT_EQ(dir_.Get("u.txt").substr(0, 4), "\xFF\xFE\xE9\0"s);
    EXPECT_EQ(ReadAll(dir_.Get("u.txt")), u"\u00E9\u20AC\nend\n");
}

TEST_F(FileExWrite, BytesLengthAndTruncation) {
    std::string big(200000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    CFileEx f(dir_.Wide("b.dat"));
    ASSERT_TRUE(f.Open(CFileEx::modeReadWrite | CFileEx::shareExclusive | CFileEx::modeCreate));
    ASSERT_TRUE(f.Write(big.data(), 10));
    EXPECT_EQ(f.GetLength(), 10u);  // counts what is still buffered
    ASSERT_TRUE(f.Write(big.data() + 10, big.size() - 10));
    ASSERT_TRUE(f.SeekToBegin());
    std::string back(big.size() + 5, '?');
    EXPECT_EQ(f.Read(back.data(), back.size()), big.size());
    back.resize(big.size());
    EXPECT_EQ(back, big);
    ASSERT_TRUE(f.SetLength(3));
    EXPECT_EQ(f.GetLength(), 3u);
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(dir_.Get("b.dat"), big.substr(0, 3));
}

TEST(FileExPath, GetExtensionRules) {
    CFileEx f(u"C:\\Kestrom\\results\\001-1-01.qff");
    EXPECT_EQ(f.GetExtension(), u"qff");
    f.SetPath(u"/meet/v1.2/orvo");
    EXPECT_EQ(f.GetExtension(), u"");  // the dot is in a folder name
    f.SetPath(u"C:\\v1.2\\orvo");
    EXPECT_EQ(f.GetExtension(), u"");
    f.SetPath(u"/meet/file.abcd");
    EXPECT_EQ(f.GetExtension(), u"");  // four characters are no extension
    f.SetPath(u"a.b.jpg");
    EXPECT_EQ(f.GetExtension(), u"jpg");
}

TEST(FileExPath, SetExtensionAndFileName) {
    CFileEx f(u"/meet/results/001-1-01.qff");
    f.SetExtension(u"hyf");
    EXPECT_EQ(f.GetPath(), u"/meet/results/001-1-01.hyf");
    f.SetFileName(u"002-3-04", false);
    EXPECT_EQ(f.GetPath(), u"/meet/results/002-3-04.hyf");
    f.SetFileName(u"finish.jpg", true);
    EXPECT_EQ(f.GetPath(), u"/meet/results/finish.jpg");
#ifdef _WIN32
    f.SetPath(u"C:\\Kestrom\\orvo.evt");
    f.SetFileName(u"orvo.ppl", true);
    EXPECT_EQ(f.GetPath(), u"C:\\Kestrom\\orvo.ppl");
#else
    // A backslash separates nothing on Linux: it belongs to the folder's name.
    f.SetPath(u"/meet/Day\\1/orvo.evt");
    f.SetFileName(u"orvo.ppl", true);
    EXPECT_EQ(f.GetPath(), u"/meet/Day\\1/orvo.ppl");
    f.SetPath(u"C:\\Kestrom\\orvo.evt");
    f.SetFileName(u"orvo.ppl", true);
    EXPECT_EQ(f.GetPath(), u"orvo.ppl");
#endif
    f.SetPath(u"/meet/data.long");
    f.SetExtension(u"qff");
    EXPECT_EQ(f.GetPath(), u"/meet/data.long.qff");
    f.SetPath(u"/meet/noext");
    f.SetFileName(u"other.txt", false);  // no extension to carry: none is left, and no dot
    EXPECT_EQ(f.GetPath(), u"/meet/other");
}

class FileExOpen : public FileExRead {};

TEST_F(FileExOpen, FailuresGiveTheirCause) {
    CFileEx f(dir_.Wide("missing.txt"));
    EXPECT_EQ(f.Open(CFileEx::modeRead | CFileEx::shareDenyNone).Cause(),
              file_cause::kFileNotFound);
    f.SetPath(dir_.Wide("nofolder/x.txt"));
    EXPECT_EQ(f.Open(CFileEx::modeWrite | CFileEx::shareExclusive | CFileEx::modeCreate).Cause(),
              file_cause::kBadPath);
    f.SetPath(FromUtf8(dir_.Dir()));
    EXPECT_EQ(f.Open(CFileEx::modeRead | CFileEx::shareDenyNone).Cause(),
              file_cause::kAccessDenied);
    EXPECT_FALSE(f.IsOpen());
}

TEST_F(FileExOpen, CreateEmptiesUnlessNoTruncate) {
    dir_.Put("c.txt", "old");
    {
        CFileEx f(dir_.Wide("c.txt"));
        ASSERT_TRUE(f.Open(CFileEx::modeWrite | CFileEx::shareExclusive | CFileEx::modeCreate |
                           CFileEx::modeNoTruncate));
    }
    EXPECT_EQ(dir_.Get("c.txt"), "old");
    {
        CFileEx f(dir_.Wide("c.txt"));
        ASSERT_TRUE(f.Open(CFileEx::modeWrite | CFileEx::shareExclusive | CFileEx::modeCreate));
    }
    EXPECT_EQ(dir_.Get("c.txt"), "");
}

TEST_F(FileExOpen, SharingModesFollowThePlatformRules) {
    dir_.Put("s.txt", "data");
    const auto path = dir_.Wide("s.txt");
    const unsigned read = CFileEx::modeRead, write = CFileEx::modeWrite;
    auto opens = [&](CFileEx& f, unsigned flags) {
        f.SetPath(path);
        const CStatus opened = f.Open(flags);
        if (!opened) {
            EXPECT_EQ(opened.Cause(), file_cause::kSharingViolation);
        }
        return opened.Ok();
    };
    {
        CFileEx a, b, c, d;
        ASSERT_TRUE(opens(a, read | CFileEx::shareDenyNone));
        EXPECT_TRUE(opens(b, read | CFileEx::shareDenyNone));
        EXPECT_TRUE(opens(c, write | CFileEx::shareDenyNone));
        EXPECT_FALSE(opens(d, read | CFileEx::shareDenyWrite));  // c already writes
        EXPECT_FALSE(opens(d, read | CFileEx::shareExclusive));
    }
    {
        CFileEx a, b, c;
        ASSERT_TRUE(opens(a, read | CFileEx::shareDenyWrite));
        EXPECT_TRUE(opens(b, read | CFileEx::shareDenyWrite));
        EXPECT_FALSE(opens(c, write | CFileEx::shareDenyNone));
        // A refused create must not have emptied the file.
        EXPECT_FALSE(opens(c, write | CFileEx::shareDenyNone | CFileEx::modeCreate));
        EXPECT_EQ(dir_.Get("s.txt"), "data");
    }
    {
        CFileEx a, b;
        ASSERT_TRUE(opens(a, write | CFileEx::shareDenyRead));
        EXPECT_FALSE(opens(b, read | CFileEx::shareDenyNone));
        EXPECT_TRUE(opens(b, write | CFileEx::shareDenyNone));
        a.Close();
        b.Close();
        EXPECT_TRUE(opens(a, read | CFileEx::shareExclusive));  // closes unregister
    }
    // The same file under another name is the same file.
    ASSERT_EQ(::link(dir_.File("s.txt").c_str(), dir_.File("alias.txt").c_str()), 0);
    CFileEx a, b;
    ASSERT_TRUE(opens(a, read | CFileEx::shareExclusive));
    b.SetPath(dir_.Wide("alias.txt"));
    EXPECT_FALSE(b.Open(read | CFileEx::shareDenyNone));
}

TEST_F(FileExOpen, ExclusiveOpensExcludeEachOtherAcrossThreads) {
    dir_.Put("x.txt", "");
    std::atomic<int> holders{0}, overlaps{0}, wins{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                CFileEx f(dir_.Wide("x.txt"));
                if (!f.Open(CFileEx::modeReadWrite | CFileEx::shareExclusive)) continue;
                if (holders.fetch_add(1) != 0) overlaps++;
                wins++;
                holders.fetch_sub(1);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_GT(wins.load(), 0);
}

TEST(FileCause, TextsKeptInOnePlace) {
    EXPECT_EQ(FileCauseText(file_cause::kSharingViolation),
              u"SHARE.EXE was not loaded, or a shared region was locked.");
    EXPECT_EQ(FileCauseText(14), FileCauseText(11));
    EXPECT_EQ(FileCauseText(file_cause::kFileNotFound), u"The file could not be located.");
    EXPECT_EQ(FileCauseText(0), u"");
    EXPECT_EQ(FileCauseText(15), u"");
    EXPECT_EQ(FileCauseFromErrno(ENOSPC), file_cause::kDiskFull);
}

}  // namespace
}  // namespace kestrom
