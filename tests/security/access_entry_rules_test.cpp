// The entry dialog's OK as the console applies it: validation texts and the changes made.
#include <gtest/gtest.h>

#include "security/AccessEntryRules.h"

namespace kestrom {
namespace {

CEntryEdit Edit(std::array<std::u16string, 6> bytes, std::u16string name = {}) {
    CEntryEdit e;
    e.macBytes = std::move(bytes);
    e.name = std::move(name);
    return e;
}

CAccessControlItem Entry(std::u16string_view mac, int enabled, int fieldOrvo) {
    CAccessControlItem item;
    SplitMacText(mac, item);
    item.enabled = enabled;
    item.allowFieldOrvo = fieldOrvo;
    return item;
}

TEST(AccessEntryRules, AddingChecksCharactersLengthAndDuplicatesAfterUpperCasing) {
    std::vector<CAccessControlItem> list = {Entry(u"00:11:22:AA:BB:CC", 1, 1)};
    EXPECT_EQ(ApplyEntryEdit(list, {}, false, Edit({u"0-", u"11", u"22", u"AA", u"BB", u"CC"})),
              kInvalidMacCharMessage);
    EXPECT_EQ(ApplyEntryEdit(list, {}, false, Edit({u"0", u"11", u"22", u"AA", u"BB", u"CC"})),
              kIncompleteMacMessage);
    EXPECT_EQ(ApplyEntryEdit(list, {}, false, Edit({u"00", u"11", u"22", u"aa", u"bb", u"cc"})),
              kDuplicateMacMessage);
    EXPECT_EQ(list.size(), 1u);

    // A letter beyond F is a letter: accepted, and upper-cased.
    EXPECT_EQ(ApplyEntryEdit(list, {}, false, Edit({u"0g", u"11", u"22", u"33", u"44", u"55"})),
              std::nullopt);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].GetMacText(), u"0G:11:22:33:44:55");
    EXPECT_EQ(list[1].enabled, 1);
    EXPECT_EQ(list[1].allowFieldOrvo, 0);
}

TEST(AccessEntryRules, UpdatingSeveralKeepsAddressesNamesAndIndeterminateValues) {
    std::vector<CAccessControlItem> list = {Entry(u"00:00:00:00:00:01", 1, 0),
                                            Entry(u"00:00:00:00:00:02", 0, 1)};
    list[0].name = u"one";
    CEntryEdit edit = Edit({u"FF", u"FF", u"FF", u"FF", u"FF", u"FF"}, u"changed");
    edit.enabled = 2;
    edit.allowFieldOrvo = 1;
    edit.allowWenlow = 2;
    EXPECT_EQ(ApplyEntryEdit(list, {0, 1}, false, edit), std::nullopt);
    EXPECT_EQ(list[0].GetMacText(), u"00:00:00:00:00:01");
    EXPECT_EQ(list[0].name, u"one");
    EXPECT_EQ(list[0].enabled, 1);
    EXPECT_EQ(list[1].enabled, 0);
    EXPECT_EQ(list[0].allowFieldOrvo, 1);
    EXPECT_EQ(list[1].allowFieldOrvo, 1);

    // One entry may not take another's address.
    EXPECT_EQ(
        ApplyEntryEdit(list, {1}, false, Edit({u"00", u"00", u"00", u"00", u"00", u"01"}, u"two")),
        kDuplicateMacMessage);
    EXPECT_EQ(DeleteEntries(list, {}), kSelectItemMessage);
    EXPECT_EQ(DeleteEntries(list, {0}), std::nullopt);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].GetMacText(), u"00:00:00:00:00:02");
}

}  // namespace
}  // namespace kestrom
