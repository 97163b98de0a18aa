// The access list editor's rules: the entry dialog's modes, byte edits, checks at OK and the
// updates it makes; the security page's rows, deletions and cancel question.
#include <gtest/gtest.h>

#include "support/access_entry.h"
#include "window/OptionsRules.h"
#include "window/SecurityItemEditor.h"

namespace kestrom {
namespace {

using testing::Entry;

std::vector<CAccessControlItem> TwoEntries() {
    return {Entry(u"00:1A:2B:3C:4D:5E", u"Pit", 1, 1, 0, 1),
            Entry(u"00:1A:2B:3C:4D:5F", u"Gate", 0, 1, 1, 0)};
}

CSecurityItemValues Typed(std::array<std::u16string, 6> bytes, std::u16string name = {},
                          std::array<int, 4> boxes = {kBoxTicked, kBoxClear, kBoxClear,
                                                      kBoxClear}) {
    return {std::move(bytes), std::move(name), boxes};
}

TEST(EntryDialog, ModesDecideTitleQuestionOkFocusAndStartingValues) {
    const CSecurityItemEditor add(TwoEntries(), {}, {}, false);
    EXPECT_EQ(add.Mode(), CEntryMode::Add);
    EXPECT_EQ(add.Title(), u"Add MAC Address");
    EXPECT_FALSE(add.QuestionShown() || add.OkEnabled() || add.FirstFocusOnName());
    EXPECT_EQ(add.Values(), Typed({}));

    const CSecurityItemEditor one(TwoEntries(), {1}, {}, false);
    EXPECT_EQ(one.Mode(), CEntryMode::UpdateOne);
    EXPECT_EQ(one.Title(), u"Update Access Control Client");
    EXPECT_EQ(one.Values().macBytes[5], u"5F");
    EXPECT_EQ(one.Values().name, u"Gate");
    EXPECT_EQ(one.Values().boxes, (std::array<int, 4>{0, 1, 1, 0}));
    EXPECT_FALSE(one.OkEnabled());

    const CSecurityItemEditor several(TwoEntries(), {0, 1}, {}, false);
    EXPECT_EQ(several.Mode(), CEntryMode::UpdateSeveral);
    EXPECT_EQ(several.Title(), u"Add MAC Address");
    EXPECT_FALSE(several.MacAndNameEditable());
    EXPECT_TRUE(several.Values().macBytes[0].empty());
    // Shared values show as they are, differing ones as indeterminate.
    EXPECT_EQ(several.Values().boxes, (std::array<int, 4>{kBoxIndeterminate, kBoxTicked,
                                                          kBoxIndeterminate, kBoxIndeterminate}));

    const CSecurityItemEditor prompt({Entry(u"02:00:00:AA:BB:CC")}, {0}, {}, true);
    EXPECT_EQ(prompt.Mode(), CEntryMode::Prompt);
    EXPECT_TRUE(prompt.QuestionShown() && prompt.OkEnabled() && prompt.FirstFocusOnName());
    EXPECT_EQ(prompt.Values().macBytes[3], u"AA");

    // Indices that name no entry are dropped before the mode is chosen.
    EXPECT_EQ(CSecurityItemEditor(TwoEntries(), {7}, {}, false).Mode(), CEntryMode::Add);
    EXPECT_EQ(CSecurityItemEditor(TwoEntries(), {0, -1}, {}, false).Mode(), CEntryMode::UpdateOne);
    EXPECT_EQ(CSecurityItemEditor({}, {0}, {}, true).Mode(), CEntryMode::Add);
}

TEST(EntryDialog, ProductBoxesNeedTheirSwitchAndEnable) {
    CSecurityItemEditor add({}, {}, {true, false, true}, false);
    EXPECT_TRUE(add.ProductBoxUsable(1));
    EXPECT_FALSE(add.ProductBoxUsable(2));  // its page box is clear
    CSecurityItemValues taken = add.Values();
    taken.boxes[0] = kBoxClear;
    add.BoxClicked(0, taken);
    EXPECT_FALSE(add.ProductBoxUsable(1) || add.ProductBoxUsable(3));
    // An indeterminate "Enable" still lets the products be set.
    CSecurityItemEditor several(TwoEntries(), {0, 1}, {}, false);
    EXPECT_TRUE(several.ProductBoxUsable(1));
}

TEST(EntryDialog, ByteEditsRefuseOtherThanLettersAndDigitsAndRunOn) {
    CSecurityItemEditor add({}, {}, {}, false);
    CSecurityItemValues taken = add.Values();
    taken.macBytes[0] = u"a";
    CSecurityItemEditor::CMacEdit edit = add.MacEdited(0, taken);
    EXPECT_TRUE(edit.refusal.empty());
    EXPECT_FALSE(edit.moveFocusOn);
    EXPECT_TRUE(add.OkEnabled());

    taken.macBytes[0] = u"a-";
    taken.name = u"typed meanwhile";
    edit = add.MacEdited(0, taken);
    EXPECT_EQ(edit.refusal, u"Valid characters are 0-9, A-Z");
    EXPECT_EQ(add.Values().macBytes[0], u"a");  // the previous text comes back
    EXPECT_EQ(add.Values().name, u"typed meanwhile");

    taken.macBytes[0] = u"ag";  // g is a letter
    edit = add.MacEdited(0, taken);
    EXPECT_TRUE(edit.refusal.empty());
    EXPECT_TRUE(edit.moveFocusOn);
    taken.macBytes[5] = u"5E";
    EXPECT_FALSE(add.MacEdited(5, taken).moveFocusOn);  // nothing follows the sixth

    EXPECT_EQ(CheckMacByteText(u"\u00fc7"), u"");  // letters of any script
    EXPECT_EQ(CheckMacByteText(u" 1"), u"Valid characters are 0-9, A-Z");
    EXPECT_EQ(CheckMacByteText(u"\U0001F600"), u"Valid characters are 0-9, A-Z");
}

TEST(EntryDialog, OneClickSettlesAnIndeterminateBoxToClear) {
    CSecurityItemEditor several(TwoEntries(), {0, 1}, {}, false);
    CSecurityItemValues taken = several.Values();
    EXPECT_TRUE(several.BoxClicked(0, taken));  // indeterminate as clicked: shown clear
    EXPECT_EQ(several.Values().boxes[0], kBoxClear);
    EXPECT_TRUE(several.OkEnabled());
    taken = several.Values();
    taken.boxes[0] = kBoxTicked;
    EXPECT_FALSE(several.BoxClicked(0, taken));
    EXPECT_EQ(several.Values().boxes[0], kBoxTicked);
}

TEST(EntryDialog, AddChecksLengthThenUpperCasesThenDuplicates) {
    CSecurityItemEditor add(TwoEntries(), {}, {}, false);
    CSecurityItemEditor::CAccept result =
        add.Accept(Typed({u"00", u"1a", u"2b", u"3c", u"4d", u"6"}));
    EXPECT_EQ(result.refusal,
              u"You have entered an incomplete MAC address.  The MAC Address must be 12 bytes "
              u"long.");
    EXPECT_FALSE(result.showValues);
    EXPECT_EQ(add.Values().macBytes[1], u"1a");

    result = add.Accept(Typed({u"00", u"1a", u"2b", u"3c", u"4d", u"5e"}));
    EXPECT_EQ(result.refusal, u"A client with that MAC address already exists.");
    EXPECT_TRUE(result.showValues);
    EXPECT_EQ(add.Values().macBytes[5], u"5E");  // the edits show the upper case too
    EXPECT_EQ(add.List().size(), 2u);

    result = add.Accept(Typed({u"ag", u"1b", u"2C", u"3d", u"4E", u"5f"}, u"Lane 1"));
    EXPECT_TRUE(result.refusal.empty());
    ASSERT_EQ(add.List().size(), 3u);
    EXPECT_EQ(add.List().back().GetMacText(), u"AG:1B:2C:3D:4E:5F");
    EXPECT_EQ(add.List().back(), Entry(u"AG:1B:2C:3D:4E:5F", u"Lane 1", 1, 0, 0, 0));
}

TEST(EntryDialog, UpdateOneCollidesOnlyWhenAddressOrNameChanged) {
    std::vector<CAccessControlItem> twins = TwoEntries();
    twins[1].macByte6 = u"5E";  // loaded colliding with the first
    CSecurityItemEditor keep(twins, {1}, {}, false);
    CSecurityItemValues taken = keep.Values();
    taken.boxes[0] = kBoxTicked;
    EXPECT_TRUE(keep.Accept(taken).refusal.empty());  // permissions alone may change
    EXPECT_EQ(keep.List()[1].enabled, 1);

    CSecurityItemEditor rename(twins, {1}, {}, false);
    taken = rename.Values();
    taken.name = u"Back gate";
    EXPECT_EQ(rename.Accept(taken).refusal, u"A client with that MAC address already exists.");

    // A prompt takes the address as the operator leaves it, short bytes and all.
    CSecurityItemEditor prompt({Entry(u"00:1A:2B:3C:4D:60")}, {0}, {}, true);
    taken = prompt.Values();
    taken.macBytes[5] = u"6";
    EXPECT_TRUE(prompt.Accept(taken).refusal.empty());
    EXPECT_EQ(prompt.List()[0].GetMacText(), u"00:1A:2B:3C:4D:6");
}

TEST(EntryDialog, UpdateSeveralKeepsAddressesNamesAndIndeterminateValues) {
    const auto before = TwoEntries();
    CSecurityItemEditor several(before, {0, 1}, {}, false);
    CSecurityItemValues taken = several.Values();
    taken.macBytes[0] = u"FF";  // forced into the disabled edits: not taken over
    taken.name = u"Changed";
    taken.boxes[1] = kBoxClear;
    taken.boxes[3] = kBoxTicked;
    EXPECT_TRUE(several.Accept(taken).refusal.empty());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(several.List()[i].GetMacText(), before[i].GetMacText());
        EXPECT_EQ(several.List()[i].name, before[i].name);
        EXPECT_EQ(several.List()[i].allowWenlow, 0);
        EXPECT_EQ(several.List()[i].allowFieldOrvo, 1);
        // Left indeterminate: each keeps its own.
        EXPECT_EQ(several.List()[i].enabled, before[i].enabled);
        EXPECT_EQ(several.List()[i].allowClerkOrvo, before[i].allowClerkOrvo);
    }
}

TEST(EntryDialog, ValidateSecurityItemServesCallersWithoutADialog) {
    const std::vector<CAccessControlItem> list = TwoEntries();
    CSecurityItemValues values = Typed({u"0a", u"0b", u"0c", u"0d", u"0e", u"0f"}, u"Desk");
    EXPECT_EQ(ValidateSecurityItem(CEntryMode::Add, list, {}, values), u"");
    EXPECT_EQ(values.macBytes[0], u"0A");
    std::vector<CAccessControlItem> edited = list;
    ApplySecurityItem(CEntryMode::Add, edited, {}, values);
    EXPECT_EQ(edited.back(), Entry(u"0A:0B:0C:0D:0E:0F", u"Desk", 1));

    CSecurityItemValues again = Typed({u"0A", u"0b", u"0C", u"0d", u"0E", u"0f"});
    EXPECT_EQ(ValidateSecurityItem(CEntryMode::Add, edited, {}, again),
              u"A client with that MAC address already exists.");
    CSecurityItemValues shortOne = Typed({u"0A", u"", u"0C", u"0d", u"0E", u"0f"});
    EXPECT_EQ(ValidateSecurityItem(CEntryMode::Add, edited, {}, shortOne),
              u"You have entered an incomplete MAC address.  The MAC Address must be 12 bytes "
              u"long.");
}

// The whole OK at once, as the browser console edits the list: the byte edits' refusals
// come first, and a refused edit leaves the list as it was.
TEST(EntryDialog, EditAccessListAppliesTheDialogsChecksInOneCall) {
    std::vector<CAccessControlItem> list = TwoEntries();
    EXPECT_EQ(EditAccessList(list, {}, false, Typed({u"0-", u"11", u"22", u"AA", u"BB", u"CC"})),
              u"Valid characters are 0-9, A-Z");
    EXPECT_EQ(EditAccessList(list, {}, false, Typed({u"001", u"11", u"22", u"AA", u"BB", u"CC"})),
              u"You have entered an incomplete MAC address.  The MAC Address must be 12 bytes "
              u"long.");
    EXPECT_EQ(EditAccessList(list, {}, false, Typed({u"00", u"1a", u"2b", u"3c", u"4d", u"5e"})),
              u"A client with that MAC address already exists.");
    EXPECT_EQ(EditAccessList(list, {5}, false, Typed({u"00", u"11", u"22", u"33", u"44", u"55"})),
              u"Please select an item");
    EXPECT_EQ(list, TwoEntries());

    // A new entry has no value to keep: an indeterminate box is taken as clear.
    EXPECT_EQ(EditAccessList(list, {}, false,
                             Typed({u"0g", u"11", u"22", u"33", u"44", u"55"}, u"Desk",
                                   {kBoxTicked, kBoxIndeterminate, kBoxClear, kBoxTicked})),
              u"");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2], Entry(u"0G:11:22:33:44:55", u"Desk", 1, 0, 0, 1));

    // Several entries keep their own addresses, names and indeterminate values.
    EXPECT_EQ(EditAccessList(list, {0, 1}, false,
                             Typed({u"FF", u"FF", u"FF", u"FF", u"FF", u"FF"}, u"changed",
                                   {kBoxIndeterminate, kBoxClear, kBoxIndeterminate, kBoxTicked})),
              u"");
    EXPECT_EQ(list[0], Entry(u"00:1A:2B:3C:4D:5E", u"Pit", 1, 0, 0, 1));
    EXPECT_EQ(list[1], Entry(u"00:1A:2B:3C:4D:5F", u"Gate", 0, 0, 1, 1));

    // A prompt's one entry may have its address corrected before it is added.
    std::vector<CAccessControlItem> one = {Entry(u"02:00:00:00:00:02", u"", 1)};
    EXPECT_EQ(
        EditAccessList(one, {0}, true, Typed({u"02", u"00", u"00", u"00", u"00", u"0a"}, u"Lane")),
        u"");
    EXPECT_EQ(one[0], Entry(u"02:00:00:00:00:0A", u"Lane", 1));
}

TEST(UnicodeText, UpperCaseFollowsTheFullMapping) {
    EXPECT_EQ(ToUpperText(u"ag1b"), u"AG1B");
    EXPECT_EQ(ToUpperText(u"\u00e9\u00ff\u00b5"), u"\u00c9\u0178\u039c");
    EXPECT_EQ(ToUpperText(u"\u00df"), u"SS");
    EXPECT_EQ(ToUpperText(u"\u0101\u0131\u03c2\u0430\u0450\uff41"),
              u"\u0100I\u03a3\u0410\u0400\uff21");
    EXPECT_EQ(ToUpperText(u"\u0100Z9-"), u"\u0100Z9-");  // upper already, or caseless
    EXPECT_TRUE(IsLetterOrDigit(u'\u00b2'));             // a number, like Qt says
    EXPECT_TRUE(IsLetterOrDigit(u'\u0663'));
    EXPECT_FALSE(IsLetterOrDigit(u'\u00d7'));
    EXPECT_FALSE(IsLetterOrDigit(u'\xd800'));
}

// The security page ------------------------------------------------------------------------

TEST(SecurityPage, RowsShowYesOnlyWhereAllowedSwitchedOnAndEnabled) {
    const CSecuritySwitches switches{true, false, true, true, false};
    const CSecurityRow pit = SecurityRowOf(TwoEntries()[0], switches);
    EXPECT_EQ(pit.texts, (std::array<std::u16string, 6>{u"00:1A:2B:3C:4D:5E", u"Pit", u"Yes", u"No",
                                                        u"No", u"Yes"}));
    EXPECT_EQ(pit.textColours[0], kTextColour);
    EXPECT_EQ(pit.textColours[2], kYesColour);
    EXPECT_EQ(pit.textColours[3], kNoColour);
    EXPECT_EQ(pit.background, kActiveRowColour);

    const CSecurityRow gate = SecurityRowOf(TwoEntries()[1], switches);
    EXPECT_EQ(gate.texts[4], u"No");  // allowed, but not enabled
    EXPECT_EQ(gate.background, kInactiveRowColour);
    CSecuritySwitches off = switches;
    off.security = false;
    EXPECT_EQ(SecurityRowBackground(TwoEntries()[0], off), kInactiveRowColour);
    EXPECT_EQ(SecurityColumnTitles()[0], u"MAC Address");
    EXPECT_EQ(SecurityColumnTitles()[5], u"FieldOrvo");
}

TEST(SecurityPage, DeletingRowsReindexesTheRest) {
    std::vector<CAccessControlItem> working;
    for (char16_t last : std::u16string(u"12345"))
        working.push_back(Entry(std::u16string(u"00:00:00:00:00:0") + last));
    const std::vector<int> left = DeleteSecurityRows(working, {0, 1, 2, 3, 4}, {3, 1});
    EXPECT_EQ(left, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(working.size(), 3u);
    EXPECT_EQ(working[1].GetMacText(), u"00:00:00:00:00:03");
    EXPECT_EQ(working[2].GetMacText(), u"00:00:00:00:00:05");

    // Rows in another order than the list: each row still removes its own entry.
    std::vector<CAccessControlItem> three(working);
    const std::vector<int> rest = DeleteSecurityRows(three, {2, 0, 1}, {0});
    EXPECT_EQ(rest, (std::vector<int>{0, 1}));
    EXPECT_EQ(three[0].GetMacText(), u"00:00:00:00:00:01");
    EXPECT_EQ(three[1].GetMacText(), u"00:00:00:00:00:03");
}

TEST(SecurityPage, CancelAsksOnlyWhenTheListChanged) {
    const auto list = TwoEntries();
    EXPECT_FALSE(CancelNeedsQuestion(list, list));
    auto changed = list;
    changed[1].allowWenlow = 0;
    EXPECT_TRUE(CancelNeedsQuestion(changed, list));
    EXPECT_TRUE(CancelNeedsQuestion({list[0]}, list));

    CKestromSettings s;
    StoreSecuritySwitches(s, {true, false, true, false, true});
    EXPECT_TRUE(s.SecurityEnabled && s.ClerkOrvoSecurityEnabled);
    EXPECT_FALSE(s.WenlowSecurityEnabled || s.FieldOrvoSecurityEnabled);
    EXPECT_EQ(SecuritySwitchesOf(s, true), (CSecuritySwitches{true, false, true, false, true}));
}

}  // namespace
}  // namespace kestrom
