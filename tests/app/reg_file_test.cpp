#include <gtest/gtest.h>

#include "app/RegFile.h"

namespace kestrom {
namespace {

constexpr std::string_view kKey = "HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23";

CRegValue Raw(uint32_t type, std::vector<uint8_t> bytes) {
    return CRegValue{type, std::move(bytes)};
}

TEST(RegValueLine, WellFormedStringsUseTheQuotedForm) {
    EXPECT_EQ(FormatRegValueLine("PortNumber", CRegValue::String(u"1950")),
              "\"PortNumber\"=\"1950\"");
    EXPECT_EQ(FormatRegValueLine("Dir", CRegValue::String(u"C:\\Meet \"A\"")),
              "\"Dir\"=\"C:\\\\Meet \\\"A\\\"\"");
    EXPECT_EQ(FormatRegValueLine("Dir", CRegValue::String(u"\u00e9")), "\"Dir\"=\"\xC3\xA9\"");
    EXPECT_EQ(FormatRegValueLine("Empty", CRegValue::String(u"")), "\"Empty\"=\"\"");
}

TEST(RegValueLine, EverythingElseKeepsItsRawBytes) {
    // No terminator, odd size, embedded NUL, line break, lone surrogate, size 0: all would
    // change in the quoted form.
    EXPECT_EQ(FormatRegValueLine("V", Raw(1, {0x41, 0x00})), "\"V\"=hex(1):41,00");
    EXPECT_EQ(FormatRegValueLine("V", Raw(1, {0x41, 0x00, 0x00})), "\"V\"=hex(1):41,00,00");
    EXPECT_EQ(FormatRegValueLine("V", Raw(1, {})), "\"V\"=hex(1):");
    EXPECT_EQ(FormatRegValueLine("V", CRegValue::String(std::u16string(u"a\0b", 3))),
              "\"V\"=hex(1):61,00,00,00,62,00,00,00");
    EXPECT_EQ(FormatRegValueLine("V", CRegValue::String(u"a\nb")),
              "\"V\"=hex(1):61,00,0a,00,62,00,00,00");
    EXPECT_EQ(FormatRegValueLine("V", CRegValue::String(u"\xD800")), "\"V\"=hex(1):00,d8,00,00");
    EXPECT_EQ(FormatRegValueLine("V", Raw(2, {0x25, 0x00, 0x00, 0x00})),
              "\"V\"=hex(2):25,00,00,00");
    EXPECT_EQ(FormatRegValueLine("V", Raw(3, {0xff})), "\"V\"=hex:ff");
    EXPECT_EQ(FormatRegValueLine("V", Raw(4, {0x01, 0x02, 0x00, 0x80})), "\"V\"=dword:80000201");
    EXPECT_EQ(FormatRegValueLine("V", Raw(4, {0x01})), "\"V\"=hex(4):01");
    EXPECT_EQ(FormatRegValueLine("V", Raw(11, {0x01})), "\"V\"=hex(b):01");
}

TEST(RegValueLine, ParseGivesBackWhatFormatWrote) {
    const std::vector<CRegValue> values = {CRegValue::String(u"C:\\Kestrom"),
                                           CRegValue::String(u"quote \" and \\ end\\"),
                                           CRegValue::String(u"\u00e9\U0001F600"),
                                           Raw(1, {0x41}),
                                           Raw(1, {}),
                                           Raw(2, {0x41, 0, 0, 0}),
                                           Raw(3, {1, 2, 3}),
                                           Raw(4, {4, 3, 2, 1}),
                                           Raw(7, {0, 0}),
                                           Raw(0x20, {0xAB})};
    for (const auto& v : values) {
        std::string line = FormatRegValueLine("N\"a\\me", v);
        auto parsed = ParseRegValueLine(line);
        ASSERT_TRUE(parsed) << line;
        EXPECT_EQ(parsed->first, "N\"a\\me");
        EXPECT_EQ(parsed->second, v) << line;
    }
}

TEST(RegValueLine, HandWrittenFormsAreAccepted) {
    // A Windows path written without doubling its backslashes keeps them.
    auto p = ParseRegValueLine("\"EventDirectory\"=\"C:\\Kestrom\"");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->second, CRegValue::String(u"C:\\Kestrom"));
    p = ParseRegValueLine("  \"A\" = dword:1F ");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->second, Raw(4, {0x1f, 0, 0, 0}));
    p = ParseRegValueLine("\"A\"=HEX(2): 41 , 00 ,00,00");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->second, Raw(2, {0x41, 0, 0, 0}));
}

TEST(RegValueLine, MalformedLinesAreNotValues) {
    for (const char* line : {"\"A\"=-", "@=\"x\"", "\"A\"=\"open", "\"A\"=\"x\" junk",
                             "\"A\"=hex:1,,2", "\"A\"=hex:123", "\"A\"=hex(zz):00",
                             "\"A\"=dword:123456789", "\"A\"=word:1", "; comment", "A=\"1\""}) {
        EXPECT_FALSE(ParseRegValueLine(line)) << line;
    }
}

TEST(RegFile, ContinuedHexLinesAreOneValue) {
    auto doc = CRegFile::Parse(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\r\n"
        "\"Long\"=hex(2):41,00,\\\r\n"
        "  42,00,\\\r\n"
        "  00,00\r\n"
        "\"After\"=\"x\"\r\n");
    EXPECT_EQ(doc.Get(kKey, "Long"), Raw(2, {0x41, 0, 0x42, 0, 0, 0}));
    EXPECT_EQ(doc.Get(kKey, "after"), CRegValue::String(u"x"));
}

TEST(RegFile, ReadsUtf16WithByteOrderMark) {
    std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\r\n\"A\"=\"\u00e9\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(CRegFile::Parse(bytes).Get(kKey, "A"), CRegValue::String(u"\u00e9"));
}

TEST(RegFile, SetKeepsEverythingElseInPlace) {
    const std::string original =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Other]\n\"PortNumber\"=\"1\"\n\n"
        "[hkey_current_user\\software\\corvane\\kestrom\\3.23]\n"
        "; keep me\n"
        "\"portnumber\"=\"1\"\n"
        "@=\"default\"\n"
        "\"Bin\"=hex:01,\\\n  02\n"
        "\"PortNumber\"=\"2\"\n"
        "\n"
        "[HKEY_CURRENT_USER\\Last]\n\"X\"=-\n";
    auto doc = CRegFile::Parse(original);
    EXPECT_EQ(doc.Get(kKey, "PortNumber"), CRegValue::String(u"2"));  // the last line wins
    doc.Set(kKey, "PortNumber", CRegValue::String(u"3"));
    doc.Set(kKey, "New", CRegValue::String(u"n"));
    doc.Set("HKEY_CURRENT_USER\\Missing", "X", CRegValue::String(u"x"));
    EXPECT_EQ(doc.Serialize(),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Other]\n\"PortNumber\"=\"1\"\n\n"
              "[hkey_current_user\\software\\corvane\\kestrom\\3.23]\n"
              "; keep me\n"
              "\"PortNumber\"=\"3\"\n"
              "@=\"default\"\n"
              "\"Bin\"=hex:01,\\\n  02\n"
              "\"New\"=\"n\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Last]\n\"X\"=-\n");
}

TEST(RegFile, AFileThatBeganWithStrayMarksReadsBackTheSameAfterASave) {
    // A UTF-8 mark followed by the UTF-16 one, and a UTF-16 file whose text starts with U+FEFF.
    for (const std::string& original :
         {std::string("\xEF\xBB\xBF\xFF\xFE[x]\n"), std::string("\xFF\xFE\xFF\xFE[\0x\0]\0", 11)}) {
        auto doc = CRegFile::Parse(original);
        doc.AddKey(kKey);
        doc.Set(kKey, "EventDirectory", CRegValue::String(u"/meet"));
        const std::string saved = doc.Serialize();
        EXPECT_EQ(CRegFile::Parse(saved).Get(kKey, "EventDirectory"), CRegValue::String(u"/meet"));
        EXPECT_EQ(CRegFile::Parse(saved).Serialize(), saved);
    }
}

TEST(RegFile, ValueSetAfterAContinuationCutShortSurvivesTheNextRead) {
    // The file ends inside a continued hex value: the new line must not become its tail.
    auto doc = CRegFile::Parse(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\n"
        "\"PortNumber\"=dword:0000079e\n"
        "\"Bin\"=hex:01,\\\n");
    const auto bin = doc.Get(kKey, "Bin");
    doc.Set(kKey, "EventDirectory", CRegValue::String(u"/meet"));
    const CRegFile reread = CRegFile::Parse(doc.Serialize());
    EXPECT_EQ(reread.Get(kKey, "EventDirectory"), CRegValue::String(u"/meet"));
    EXPECT_EQ(reread.Get(kKey, "Bin"), bin);
    EXPECT_TRUE(reread.Get(kKey, "PortNumber"));
}

TEST(RegFile, AddKeyStartsAnEmptyDocumentWithTheHeader) {
    CRegFile doc;
    doc.AddKey(kKey);
    doc.Set(kKey, "A", CRegValue::String(u"1"));
    EXPECT_EQ(doc.Serialize(),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\n\"A\"=\"1\"\n");

    auto other = CRegFile::Parse("Windows Registry Editor Version 5.00\n\n[HKEY_X]\n\"B\"=\"2\"");
    other.AddKey(kKey);
    EXPECT_TRUE(other.HasKey(kKey));
    EXPECT_EQ(other.Serialize(),
              "Windows Registry Editor Version 5.00\n\n[HKEY_X]\n\"B\"=\"2\"\n\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\n");
}

}  // namespace
}  // namespace kestrom
