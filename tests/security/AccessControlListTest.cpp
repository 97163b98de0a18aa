// Entries, MAC texts and the list's searches and bulk changes.
#include <gtest/gtest.h>

#include "security/AccessControlList.h"

namespace kestrom {
namespace {

CAccessControlItem Entry(std::u16string_view mac, std::u16string name = {}) {
    CAccessControlItem item;
    SplitMacText(mac, item);
    item.name = std::move(name);
    return item;
}

TEST(AccessControlItem, MacTextIsRebuiltFromTheByteTexts) {
    CAccessControlItem item;
    EXPECT_EQ(item.GetMacText(), u":::::");
    item = Entry(u"00:1A:2B:3C:4D:5E");
    EXPECT_EQ(item.GetMacText(), u"00:1A:2B:3C:4D:5E");
    item.macByte4.assign(1, u'x');  // (assigning a literal trips a GCC 12 -Wrestrict false alarm)
    EXPECT_EQ(item.GetMacText(), u"00:1A:2B:x:4D:5E");
}

TEST(AccessControlItem, SplitMacTextFillsMissingPiecesWithEmptyTexts) {
    CAccessControlItem item = Entry(u"AA:BB");
    EXPECT_EQ(item.macByte1, u"AA");
    EXPECT_EQ(item.macByte2, u"BB");
    EXPECT_EQ(item.macByte3, u"");
    EXPECT_EQ(item.macByte6, u"");
    item = Entry(u"");
    EXPECT_EQ(item, CAccessControlItem{});
    item = Entry(u"1::3:4:5:6:7");
    EXPECT_EQ(item.GetMacText(), u"1::3:4:5:6");
    // Splitting an item that held bytes replaces all six.
    SplitMacText(u"9", item);
    EXPECT_EQ(item.GetMacText(), u"9:::::");
}

TEST(AccessControlList, FindsTheFirstExactMatch) {
    CAccessControlList list;
    list.ReplaceAll({Entry(u"00:11:22:33:44:55", u"first"), Entry(u"AA:BB:CC:DD:EE:FF"),
                     Entry(u"00:11:22:33:44:55", u"second")});
    auto found = list.FindByMacText(u"00:11:22:33:44:55");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, u"first");
    EXPECT_EQ(list.FindIndexByMacText(u"AA:BB:CC:DD:EE:FF"), 1u);
    EXPECT_FALSE(list.FindByMacText(u"aa:bb:cc:dd:ee:ff"));
    EXPECT_FALSE(list.FindByMacText(u""));
}

TEST(AccessControlList, ReplaceAllAndAppend) {
    CAccessControlList list;
    list.Append({Entry(u"1:1:1:1:1:1")});
    list.Append({Entry(u"2:2:2:2:2:2"), Entry(u"3:3:3:3:3:3")});
    ASSERT_EQ(list.Size(), 3u);
    EXPECT_EQ(list.Snapshot()[2].GetMacText(), u"3:3:3:3:3:3");
    list.ReplaceAll({Entry(u"4:4:4:4:4:4")});
    EXPECT_EQ(list.Snapshot(), std::vector<CAccessControlItem>{Entry(u"4:4:4:4:4:4")});
    list.ReplaceAll({});
    EXPECT_EQ(list.Size(), 0u);
}

}  // namespace
}  // namespace kestrom
