// The storage file's byte layout: writing, reading, and reading damaged files.
#include <gtest/gtest.h>

#include <string>

#include "security/AccessListFormat.h"

namespace kestrom {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

CAccessControlItem PitEntry() {
    CAccessControlItem item;
    SplitMacText(u"00:1A:2B:3C:4D:5E", item);
    item.name = u"Pit";
    item.enabled = 1;
    item.allowWenlow = 0;
    item.allowClerkOrvo = 1;
    item.allowFieldOrvo = 1;
    return item;
}

// The 80 bytes of one entry 00:1A:2B:3C:4D:5E named Pit, enabled, ClerkOrvo and FieldOrvo.
std::string PitFile() {
    std::string out = Bytes({0x01, 0x00, 0x01, 0x00, 0x00, 0x80});
    for (const char* byte : {"00", "1A", "2B", "3C", "4D", "5E"})
        out += Bytes({0xFF, 0xFE, 0xFF, 0x02, byte[0], 0x00, byte[1], 0x00});
    out += Bytes({0xFF, 0xFE, 0xFF, 0x03, 'P', 0x00, 'i', 0x00, 't', 0x00});
    out += Bytes({1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
    return out;
}

TEST(AccessListFormat, WorkedExampleIsByteForByte) {
    std::string expected = PitFile();
    ASSERT_EQ(expected.size(), 80u);
    EXPECT_EQ(SerializeAccessList({PitEntry()}), expected);

    CAccessListParse parsed = ParseAccessList(expected);
    EXPECT_FALSE(parsed.countMalformed);
    ASSERT_EQ(parsed.items.size(), 1u);
    EXPECT_EQ(parsed.items[0], PitEntry());
    EXPECT_EQ(parsed.items[0].GetMacText(), u"00:1A:2B:3C:4D:5E");
}

TEST(AccessListFormat, EmptyListIsTwoZeroBytes) {
    EXPECT_EQ(SerializeAccessList({}), Bytes({0, 0}));
    CAccessListParse parsed = ParseAccessList(Bytes({0, 0}));
    EXPECT_FALSE(parsed.countMalformed);
    EXPECT_TRUE(parsed.items.empty());
}

TEST(AccessListFormat, SaveThenLoadGivesEqualEntriesInOrder) {
    std::vector<CAccessControlItem> items;
    items.push_back(PitEntry());
    CAccessControlItem odd;  // byte texts of any length, non-ASCII name, non-0/1 integers
    odd.macByte1 = u"a";
    odd.macByte3 = u"xyz";
    odd.name = u"Zürich \u20AC \xD83D\xDE00";
    odd.enabled = -7;
    odd.allowFieldOrvo = 0x7FFFFFFF;
    items.push_back(odd);
    items.push_back(CAccessControlItem{});
    CAccessListParse parsed = ParseAccessList(SerializeAccessList(items));
    EXPECT_FALSE(parsed.countMalformed);
    EXPECT_EQ(parsed.items, items);
}

TEST(AccessListFormat, LongNamesUseTheLongLengthForms) {
    // Offset of the name's text string in a one-entry file of empty byte texts.
    const size_t nameAt = 2 + 4 + 6 * 4;
    struct Case {
        size_t length;
        std::string header;
    } cases[] = {
        {254, Bytes({0xFF, 0xFE, 0xFF, 0xFE})},
        {255, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00})},
        {65533, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF})},
        {65534, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
        {70000, Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        CAccessControlItem item;
        item.name.assign(c.length, u'n');
        std::string file = SerializeAccessList({item});
        EXPECT_EQ(file.substr(nameAt, c.header.size()), c.header);
        EXPECT_EQ(file.size(), nameAt + c.header.size() + 2 * c.length + 16);
        CAccessListParse parsed = ParseAccessList(file);
        ASSERT_EQ(parsed.items.size(), 1u);
        EXPECT_EQ(parsed.items[0], item);
    }
}

TEST(AccessListFormat, CountOf65535UsesTheLongCountForm) {
    std::vector<CAccessControlItem> items(65535);
    std::string file = SerializeAccessList(items);
    EXPECT_EQ(file.substr(0, 6), Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(ParseAccessList(file).items.size(), 65535u);

    std::string shortForm = SerializeAccessList(std::vector<CAccessControlItem>(65534));
    EXPECT_EQ(shortForm.substr(0, 2), Bytes({0xFE, 0xFF}));
}

TEST(AccessListFormat, CutShortFileGivesCompleteThenPartialThenEmptyEntries) {
    CAccessControlItem first = PitEntry();
    CAccessControlItem second = PitEntry();
    second.name = u"Second";
    CAccessControlItem third = PitEntry();
    std::string file = SerializeAccessList({first, second, third, third});
    // Cut inside the second record's name: its MAC bytes are in, the name and integers not.
    size_t secondStart = 80;
    size_t cut = secondStart + 4 + 6 * 8 + 6;
    CAccessListParse parsed = ParseAccessList(std::string_view(file).substr(0, cut));
    EXPECT_FALSE(parsed.countMalformed);
    ASSERT_EQ(parsed.items.size(), 4u);
    EXPECT_EQ(parsed.items[0], first);
    CAccessControlItem partial;
    SplitMacText(u"00:1A:2B:3C:4D:5E", partial);
    EXPECT_EQ(parsed.items[1], partial);
    EXPECT_EQ(parsed.items[2], CAccessControlItem{});
    EXPECT_EQ(parsed.items[3], CAccessControlItem{});

    // Cut inside allowClerkOrvo: the integers before it are kept, it stays 0.
    cut = secondStart + 4 + 6 * 8 + 4 + 2 * 6 + 8 + 2;
    parsed = ParseAccessList(std::string_view(file).substr(0, cut));
    ASSERT_EQ(parsed.items.size(), 4u);
    partial.name = u"Second";
    partial.enabled = 1;
    EXPECT_EQ(parsed.items[1], partial);
}

TEST(AccessListFormat, BadMarkerGivesEmptyEntryAndReadingGoesOnAtTheNextByte) {
    // Count 2: a four-byte record with a wrong marker, then a proper record.
    std::string good = SerializeAccessList({PitEntry()}).substr(2);
    std::string file = Bytes({0x02, 0x00, 0x02, 0x00, 0x00, 0x80}) + good;
    CAccessListParse parsed = ParseAccessList(file);
    ASSERT_EQ(parsed.items.size(), 2u);
    EXPECT_EQ(parsed.items[0], CAccessControlItem{});
    EXPECT_EQ(parsed.items[1], PitEntry());
}

TEST(AccessListFormat, EightBitTextsAreWidenedFromWindows1252) {
    // One record whose first byte text is 8-bit "A\x80" and name 8-bit "Caf\xE9".
    std::string file = Bytes({0x01, 0x00, 0x01, 0x00, 0x00, 0x80, 0x02, 'A', 0x80});
    for (int i = 0; i < 5; ++i) file += Bytes({0x00});
    file += Bytes({0x04, 'C', 'a', 'f', 0xE9});
    file += Bytes({1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    CAccessListParse parsed = ParseAccessList(file);
    ASSERT_EQ(parsed.items.size(), 1u);
    EXPECT_EQ(parsed.items[0].macByte1, u"A\u20AC");
    EXPECT_EQ(parsed.items[0].name, u"Caf\u00E9");
    EXPECT_EQ(parsed.items[0].enabled, 1);
    EXPECT_EQ(parsed.items[0].allowWenlow, 1);
}

TEST(AccessListFormat, EightBitTextWithLongLengthForms) {
    // FF then a 16-bit length other than FFFE: an 8-bit text of that length.
    std::string text(300, 'q');
    std::string file = Bytes({0x01, 0x00, 0x01, 0x00, 0x00, 0x80, 0xFF, 0x2C, 0x01}) + text;
    CAccessListParse parsed = ParseAccessList(file);
    ASSERT_EQ(parsed.items.size(), 1u);
    EXPECT_EQ(parsed.items[0].macByte1, std::u16string(300, u'q'));
    EXPECT_EQ(parsed.items[0].macByte2, u"");  // cut short after the first text
}

TEST(AccessListFormat, ImpossibleLengthEndsTheRecordOnly) {
    // A 16-bit text claiming 2^32-2 units in a short file: the record keeps nothing more.
    std::string file = Bytes({0x01, 0x00, 0x01, 0x00, 0x00, 0x80, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF,
                              0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 'a', 0});
    CAccessListParse parsed = ParseAccessList(file);
    EXPECT_FALSE(parsed.countMalformed);
    ASSERT_EQ(parsed.items.size(), 1u);
    EXPECT_EQ(parsed.items[0], CAccessControlItem{});
}

TEST(AccessListFormat, MalformedCountsReadNothing) {
    EXPECT_TRUE(ParseAccessList(Bytes({0x01})).countMalformed);
    EXPECT_TRUE(ParseAccessList(Bytes({0xFF, 0xFF, 0x01, 0x00})).countMalformed);
    // Billions of entries in a handful of bytes cannot be a list.
    CAccessListParse huge = ParseAccessList(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_TRUE(huge.countMalformed);
    EXPECT_TRUE(huge.items.empty());
    // A modest count with nothing after it is a file cut short: empty entries.
    CAccessListParse cut = ParseAccessList(Bytes({0x10, 0x00}));
    EXPECT_FALSE(cut.countMalformed);
    EXPECT_EQ(cut.items.size(), 16u);
}

}  // namespace
}  // namespace kestrom
