// Entries, MAC texts and the list's searches and bulk changes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

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

TEST(AccessControlList, SearchesFollowEveryChange) {
    CAccessControlList list;
    EXPECT_FALSE(list.FindByMacText(u"1:1:1:1:1:1"));
    list.Append({Entry(u"1:1:1:1:1:1", u"one")});
    EXPECT_EQ(list.FindByMacText(u"1:1:1:1:1:1")->name, u"one");
    // An appended duplicate does not shadow the entry before it.
    list.Append({Entry(u"2:2:2:2:2:2"), Entry(u"1:1:1:1:1:1", u"again")});
    EXPECT_EQ(list.FindByMacText(u"1:1:1:1:1:1")->name, u"one");
    EXPECT_EQ(list.FindIndexByMacText(u"2:2:2:2:2:2"), 1u);
    // A replacement forgets the old entries and indexes the new ones from their new places.
    list.ReplaceAll({Entry(u"3:3:3:3:3:3"), Entry(u"1:1:1:1:1:1", u"moved")});
    EXPECT_FALSE(list.FindByMacText(u"2:2:2:2:2:2"));
    EXPECT_EQ(list.FindIndexByMacText(u"1:1:1:1:1:1"), 1u);
    EXPECT_EQ(list.FindByMacText(u"1:1:1:1:1:1")->name, u"moved");
    // Byte texts that are not two characters long are found by the text they make.
    list.ReplaceAll({Entry(u"a::b:::")});
    EXPECT_EQ(list.FindIndexByMacText(u"a::b:::"), 0u);
    EXPECT_FALSE(list.FindByMacText(u"a:b"));
}

TEST(AccessControlList, LargeListFindsEveryEntryAtItsFirstPlace) {
    std::vector<CAccessControlItem> items;
    for (int i = 0; i < 10000; ++i) {
        char mac[32];
        std::snprintf(mac, sizeof mac, "02:00:00:%02X:%02X:%02X", (i >> 16) & 0xFF, (i >> 8) & 0xFF,
                      i & 0xFF);
        items.push_back(Entry(std::u16string(mac, mac + 17)));
    }
    items.push_back(items[1234]);
    CAccessControlList list;
    list.ReplaceAll(items);
    for (size_t i = 0; i < 10000; i += 97)
        EXPECT_EQ(list.FindIndexByMacText(items[i].GetMacText()), i);
    EXPECT_EQ(list.FindIndexByMacText(items[1234].GetMacText()), 1234u);
    EXPECT_EQ(list.Size(), 10001u);
}

TEST(AccessControlList, SearchesDuringReplacementsSeeOneWholeList) {
    // Each list holds the entry A with a name telling which list it is and, only in list
    // two, the entry B: a search must never see A of one list and B of the other.
    const std::vector<CAccessControlItem> one = {Entry(u"A:A:A:A:A:A", u"one")};
    const std::vector<CAccessControlItem> two = {Entry(u"A:A:A:A:A:A", u"two"),
                                                 Entry(u"B:B:B:B:B:B", u"two")};
    CAccessControlList list;
    list.ReplaceAll(one);
    std::atomic<bool> stop{false};
    std::atomic<int> mismatches{0};
    std::thread reader([&] {
        while (!stop.load()) {
            auto a = list.FindByMacText(u"A:A:A:A:A:A");
            if (!a) {
                ++mismatches;
                continue;
            }
            const auto snapshot = list.Snapshot();
            if (snapshot.empty() || (snapshot.size() == 2) != (snapshot[0].name == u"two"))
                ++mismatches;
        }
    });
    for (int i = 0; i < 2000; ++i) list.ReplaceAll(i % 2 ? one : two);
    stop = true;
    reader.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace kestrom
