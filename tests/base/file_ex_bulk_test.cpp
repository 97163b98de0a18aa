// ReadToken and WriteString move runs of ordinary characters through the buffer in one go;
// these tests hold them to the character-at-a-time results of ReadChar and WriteChar on files
// larger than the buffer, in both encodings and every line-end convention.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/FileEx.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

using testing::CSandbox;

// Text of about 80,000 characters (more than the 64 KiB buffer): lines of letters, digits, commas,
// Ctrl-Z, ';' comments, characters above 255 (UTF-16 only), with the given line end, and a few
// empty lines.
std::u16string MakeText(unsigned seed, std::u16string_view lineEnd, bool wide) {
    std::mt19937 rng(seed);
    const std::u16string alphabet = u"abcXYZ019,.-; \x1a\xe9";
    std::u16string text;
    while (text.size() < 80000) {
        const int length = static_cast<int>(rng() % 90);
        for (int i = 0; i < length; ++i) {
            char16_t c = alphabet[rng() % alphabet.size()];
            if (wide && rng() % 50 == 0) c = u'\x20ac';
            text += c;
        }
        text += lineEnd;
    }
    return text;
}

std::string Encode(std::u16string_view text, bool wide, bool bigEndian) {
    std::string bytes;
    if (wide) bytes = bigEndian ? "\xfe\xff" : "\xff\xfe";
    for (char16_t c : text) {
        if (!wide) {
            bytes += static_cast<char>(c & 0xFF);
        } else if (bigEndian) {
            bytes += static_cast<char>(c >> 8);
            bytes += static_cast<char>(c & 0xFF);
        } else {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
    }
    return bytes;
}

// Every character ReadChar delivers, to the end.
std::u16string ReadAllChars(const std::u16string& path) {
    CFileEx file(path);
    EXPECT_TRUE(file.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
    std::u16string chars;
    while (const auto ch = file.ReadChar()) chars += *ch;
    return chars;
}

struct Token {
    std::u16string text;
    int end;
    bool operator==(const Token&) const = default;
};

// What ReadToken gives without comment starts (FileExTest covers those), worked out from the
// character stream: runs up to a terminator, skipped characters dropped.
std::vector<Token> ExpectedTokens(std::u16string_view chars, std::u16string_view terminators,
                                  std::u16string_view skipped) {
    std::vector<Token> tokens;
    std::size_t at = 0;
    while (at < chars.size()) {
        Token token{u"", -1};
        while (at < chars.size()) {
            const char16_t c = chars[at++];
            if (terminators.find(c) != std::u16string_view::npos) {
                token.end = c;
                break;
            }
            if (skipped.find(c) == std::u16string_view::npos) token.text += c;
        }
        tokens.push_back(token);
    }
    return tokens;
}

std::vector<Token> ReadTokens(const std::u16string& path, std::u16string_view terminators,
                              std::u16string_view comments, std::u16string_view skipped) {
    CFileEx file(path);
    EXPECT_TRUE(file.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
    std::vector<Token> tokens;
    while (file.NotAtEnd()) {
        Token token;
        token.end = file.ReadToken(token.text, terminators, comments, skipped);
        tokens.push_back(token);
    }
    return tokens;
}

TEST(FileExBulkTest, ReadTokenMatchesTheCharacterStream) {
    CSandbox dir;
    const std::u16string lineEnds[] = {u"\r\n", u"\n", u"\r", u"\n\r"};
    unsigned seed = 1;
    for (bool wide : {false, true}) {
        for (bool bigEndian : {false, true}) {
            if (!wide && bigEndian) continue;
            for (const auto& lineEnd : lineEnds) {
                const std::u16string text = MakeText(seed++, lineEnd, wide);
                dir.Put("t.txt", Encode(text, wide, bigEndian));
                const auto path = dir.Wide("t.txt");
                const std::u16string chars = ReadAllChars(path);
                ASSERT_GT(chars.size(), 70000u);
                // The readers' own uses: lines, fields, and lines with comments and skips.
                EXPECT_EQ(ExpectedTokens(chars, u"\n\x1a", {}),
                          ReadTokens(path, u"\n\x1a", {}, {}));
                EXPECT_EQ(ExpectedTokens(chars, u",\n", u" "), ReadTokens(path, u",\n", {}, u" "));
                EXPECT_EQ(ExpectedTokens(chars, u"\n", u"\x20ac."),
                          ReadTokens(path, u"\n", {}, u"\x20ac."));
            }
        }
    }
}

TEST(FileExBulkTest, WriteStringWritesWhatWriteCharWrites) {
    CSandbox dir;
    const LineEnd lineModes[] = {LineEnd::kCRLF, LineEnd::kLF, LineEnd::kCR, LineEnd::kLFCR};
    for (FileEncoding encoding : {FileEncoding::k8Bit, FileEncoding::kUtf16}) {
        for (LineEnd mode : lineModes) {
            const std::u16string text = MakeText(100 + static_cast<int>(mode), u"\n", true);
            auto write = [&](const std::string& name, bool whole) {
                CFileEx file(dir.Wide(name));
                ASSERT_TRUE(file.Open(CFileEx::modeWrite | CFileEx::modeCreate));
                file.SetWriteEncoding(encoding);
                file.SetWriteLineEndMode(mode);
                file.WriteByteOrderMark();
                int count = 0;
                if (whole) {
                    count = file.WriteString(text);
                } else {
                    for (char16_t c : text) count += file.WriteChar(c);
                }
                EXPECT_GT(count, 70000);
                ASSERT_TRUE(file.Close());
            };
            write("whole.txt", true);
            write("chars.txt", false);
            const std::string whole = dir.Get("whole.txt");
            EXPECT_GT(whole.size(), 70000u);
            EXPECT_TRUE(whole == dir.Get("chars.txt"))
                << "encoding " << static_cast<int>(encoding) << " mode " << static_cast<int>(mode);
        }
    }
}

TEST(FileExBulkTest, ReadingAfterWritingTheSameFileSeesEveryCharacter) {
    CSandbox dir;
    const std::u16string text = MakeText(7, u"\n", false);
    CFileEx file(dir.Wide("rw.txt"));
    ASSERT_TRUE(file.Open(CFileEx::modeReadWrite | CFileEx::modeCreate));
    file.SetWriteEncoding(FileEncoding::k8Bit);
    file.SetWriteLineEndMode(LineEnd::kCRLF);
    file.WriteString(text);
    ASSERT_TRUE(file.SeekToBegin());
    file.SetReadEncoding(FileEncoding::kAuto);
    std::u16string back;
    while (file.NotAtEnd()) {
        file.ReadToken(back, u"\n", {}, {});
        back += u'\n';
    }
    EXPECT_TRUE(back == text);
}

}  // namespace
}  // namespace kestrom
