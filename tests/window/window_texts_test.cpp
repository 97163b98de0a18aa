// The main window's fields, grid, menus and composed texts, as both windows show them.
#include <gtest/gtest.h>

#include "window/ConnectionFields.h"
#include "window/Menus.h"
#include "window/OptionsRules.h"
#include "window/PortField.h"
#include "window/ProductGrid.h"
#include "window/WindowTexts.h"

namespace kestrom {
namespace {

TEST(PortField, TakesOnlyAPortInRangeWithTheFrameworksMessages) {
    EXPECT_EQ(CheckPortText(u"1950").port, 1950u);
    EXPECT_TRUE(CheckPortText(u"1").ok);
    EXPECT_TRUE(CheckPortText(u"32767").ok);
    // Blanks around the digits, Unicode's too, are ignored as the text fields trim them.
    EXPECT_EQ(CheckPortText(u" 2100\t").port, 2100u);
    EXPECT_EQ(CheckPortText(u"\u00a02100\u3000").port, 2100u);
    EXPECT_EQ(CheckPortText(u"0001950").port, 1950u);
    for (std::u16string_view bad : {u"", u"   ", u"abc", u"12x", u"-5", u"+5", u"1 950"}) {
        const CPortCheck check = CheckPortText(bad);
        EXPECT_FALSE(check.ok);
        EXPECT_EQ(check.error, u"Enter a positive integer.");
    }
    for (std::u16string_view out : {u"0", u"32768", u"99999999999999999999999"}) {
        const CPortCheck check = CheckPortText(out);
        EXPECT_FALSE(check.ok);
        EXPECT_EQ(check.error, u"Enter an integer between 1 and 32767.");
    }
}

TEST(ConnectionFields, LockAtTheFirstClientAndOpenAfterTheLast) {
    CConnectionFields fields;
    EXPECT_TRUE(fields.Opened());  // read the edits, lock the fields
    EXPECT_FALSE(fields.Opened());
    EXPECT_EQ(fields.Count(), 2);
    EXPECT_FALSE(fields.Closed());
    EXPECT_TRUE(fields.Closed());  // the unlock delay starts
    EXPECT_TRUE(fields.Opened());  // a client within the delay: locked again, delay stopped
    EXPECT_TRUE(fields.Closed());
    EXPECT_TRUE(fields.Closed());  // a stray close never counts below zero
    EXPECT_EQ(fields.Count(), 0);
}

TEST(GeneralPage, ReadsIntegersAsTheDialogFrameworkDoes) {
    EXPECT_EQ(ReadIntegerText(u"8192"), 8192);
    EXPECT_EQ(ReadIntegerText(u" 12\n"), 12);
    EXPECT_EQ(ReadIntegerText(u"+5"), 5);
    EXPECT_EQ(ReadIntegerText(u"-5"), -5);
    EXPECT_EQ(ReadIntegerText(u"2147483647"), 2147483647);
    EXPECT_EQ(ReadIntegerText(u"-2147483648"), -2147483647 - 1);
    // Only ASCII blanks are skipped; no separators, no hex, nothing beyond 32 bits.
    for (std::u16string_view bad : {u"", u"-", u"+-1", u"1,000", u"1 000", u"0x10", u"2147483648",
                                    u"99999999999", u"\u00a07", u"\uff11"}) {
        EXPECT_FALSE(ReadIntegerText(bad).has_value());
    }
}

TEST(ProductGrid, ShowsTitlesProductsAndTheCountsOfThreeProducts) {
    const CProductCounts counts{1, 0, 2};
    EXPECT_EQ(ProductGridCell(0, 0, counts), u"Product");
    EXPECT_EQ(ProductGridCell(0, 3, counts), u"# Connected");
    EXPECT_EQ(ProductGridCell(1, 0, counts), u"FieldOrvo");
    EXPECT_EQ(ProductGridCell(4, 0, counts), u"Hy-Tek's HY-WIRE");
    EXPECT_EQ(ProductGridCell(1, 3, counts), u"1");  // FieldOrvo
    EXPECT_EQ(ProductGridCell(2, 3, counts), u"0");  // ClerkOrvo
    EXPECT_EQ(ProductGridCell(3, 3, counts), u"2");  // Wenlow
    EXPECT_EQ(ProductGridCell(4, 3, counts), u"");   // HY-WIRE clients are not counted
    for (int row = 1; row < kGridRows; ++row) {
        EXPECT_EQ(ProductGridCell(row, 1, counts), u"Y");
        EXPECT_EQ(ProductGridCell(row, 2, counts), u"Unlimited");
    }
    EXPECT_EQ(ProductGridCell(5, 0, counts), u"");

    CClientAddressLists clients;
    clients.Record(CProduct::Wenlow, u"10.0.0.6");
    clients.Record(CProduct::Wenlow, u"10.0.0.7");
    clients.Record(CProduct::ClerkOrvo, u"10.0.0.8");
    const CProductCounts recorded = ProductCountsOf(clients);
    EXPECT_EQ(recorded.fieldOrvo, 0);
    EXPECT_EQ(recorded.clerkOrvo, 1);
    EXPECT_EQ(recorded.wenlow, 2);
}

std::vector<std::u16string> Texts(const std::vector<CMenuItem>& items) {
    std::vector<std::u16string> texts;
    for (const CMenuItem& item : items)
        texts.emplace_back(item.IsSeparator() ? u"-" : std::u16string(item.text));
    return texts;
}

TEST(Menus, FullAndHyWireMenusOfTheWindowAndTheIcon) {
    using V = std::vector<std::u16string>;
    const std::vector<CMenu> full = MainMenu(false);
    ASSERT_EQ(full.size(), 3u);
    EXPECT_EQ(full[0].title, u"&File");
    EXPECT_EQ(Texts(full[0].items), (V{u"&Options...", u"-", u"E&xit"}));
    EXPECT_EQ(full[1].title, u"&Clients");
    EXPECT_EQ(Texts(full[1].items), (V{u"&Wenlow...", u"&FieldOrvo...", u"C&lerkOrvo..."}));
    EXPECT_EQ(full[1].items[1].command, CWindowCommand::kFieldOrvoClients);
    EXPECT_EQ(Texts(full[2].items), (V{u"&Index...", u"&Contents...", u"Operator C&onsole...", u"-",
                                       u"&About Kestrom..."}));
    EXPECT_EQ(Texts(TrayMenu(false)),
              (V{u"&Open", u"-", u"O&ptions...", u"&About...", u"-", u"E&xit"}));
    EXPECT_EQ(TrayMenu(false).front().command, CWindowCommand::kOpen);

    const std::vector<CMenu> reduced = MainMenu(true);
    ASSERT_EQ(reduced.size(), 2u);
    EXPECT_EQ(Texts(reduced[0].items), (V{u"E&xit"}));
    EXPECT_EQ(reduced[1].title, u"&Help");
    EXPECT_EQ(Texts(TrayMenu(true)), (V{u"&Open", u"-", u"&About...", u"-", u"E&xit"}));
}

TEST(WindowTexts, ComposedTitlesAndMessages) {
    EXPECT_EQ(MainWindowTitle(), u"Kestrom v3.23");
    EXPECT_EQ(ClientsDlgTitleText(CProduct::Wenlow, 2), u"Wenlow Clients (2)");
    EXPECT_EQ(ClientsDlgTitleText(CProduct::ClerkOrvo, 0), u"ClerkOrvo Clients (0)");
    EXPECT_EQ(MissingHelpFileText(u"C:\\Kestrom\\Kestrom.chm"),
              u"Cannot locate help file: C:\\Kestrom\\Kestrom.chm");
    EXPECT_EQ(AboutVersionText(), u"Version: 3.23");
    EXPECT_EQ(AboutReleasedText(), u"Released : Dec 13 2023");
}

TEST(OptionsSheet, PagesFollowTheKeysAndTheMode) {
    const auto titles = [](bool keys, bool hyWire) {
        std::vector<std::u16string_view> out;
        for (const COptionsPageEntry& page : OptionsPages(keys, hyWire)) out.push_back(page.title);
        return out;
    };
    using V = std::vector<std::u16string_view>;
    EXPECT_EQ(titles(false, false), (V{u"Database", u"Security"}));
    EXPECT_EQ(titles(true, false), (V{u"General", u"Database", u"Security"}));
    EXPECT_EQ(titles(true, true), (V{u"General", u"Database"}));
    EXPECT_EQ(titles(false, true), (V{u"Database"}));
}

TEST(OptionsSheet, ListenerSizesFillOnlySizesNeverSet) {
    CKestromSettings s;
    s.TCPReceiveBufferSize = 16384;
    s.TCPInitReceiveBufferSize = 2048;
    AdoptListenerBufferSizes(s, 87040, 131072);
    EXPECT_EQ(s.TCPSendBufferSize, 87040);
    EXPECT_EQ(s.TCPInitSendBufferSize, 87040);  // what Reset brings back
    EXPECT_EQ(s.TCPReceiveBufferSize, 16384);
    EXPECT_EQ(s.TCPInitReceiveBufferSize, 2048);

    CKestromSettings unset;
    AdoptListenerBufferSizes(unset, 0, -1);  // no listener to read
    EXPECT_EQ(unset.TCPSendBufferSize, -1);
    EXPECT_EQ(unset.TCPReceiveBufferSize, -1);
}

TEST(DatabasePage, CodeSetButtonsAndTheModeTheyStore) {
    EXPECT_TRUE(CodeSetButtonsOf(0).singleByte);
    EXPECT_FALSE(CodeSetButtonsOf(0).unicode);
    EXPECT_TRUE(CodeSetButtonsOf(1).unicode);
    const CCodeSetButtons neither = CodeSetButtonsOf(7);
    EXPECT_FALSE(neither.singleByte || neither.unicode);
    EXPECT_EQ(CharModeOf({true, false}), 0);
    EXPECT_EQ(CharModeOf({false, true}), 1);
    EXPECT_FALSE(CharModeOf(neither).has_value());  // the stored 7 stays
}

}  // namespace
}  // namespace kestrom
