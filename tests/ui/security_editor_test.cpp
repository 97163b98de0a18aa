// The access list editor: the entry dialog in its four modes and the security page's list.
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "core/Settings.h"
#include "ui/AddUpdateSecurityItemDlg.h"
#include "ui/OptionsSecurityPage.h"
#include "ui/options_test_support.h"

using namespace kestrom;
using namespace kestrom::testing;

namespace {

using Mode = CAddUpdateSecurityItemDlg::Mode;

std::vector<CAccessControlItem> TwoEntries() {
    return {Entry(u"00:1A:2B:3C:4D:5E", u"Pit", 1, 1, 0, 1),
            Entry(u"00:1A:2B:3C:4D:5F", u"Gate", 0, 1, 1, 0)};
}

void TypeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    QTest::keyClicks(edit, text);
}

void TypeMac(CAddUpdateSecurityItemDlg& dialog, const QStringList& bytes) {
    for (int i = 0; i < bytes.size(); ++i) {
        dialog.MacEdit(i)->clear();
        QTest::keyClicks(dialog.MacEdit(i), bytes[i]);
    }
}

// A click as the operator makes it (clicked() after the box's own state change), wherever the
// layout has put the button's label.
void Click(QAbstractButton* button) {
    button->click();
}

}  // namespace

// A shown security page over two entries, with security on or off.
struct PageOfTwoEntries {
    explicit PageOfTwoEntries(bool security) : page(settings, list, prompt, messages.Fn()) {
        settings.Update([security](CKestromSettings& s) { s.SecurityEnabled = security; });
        list.ReplaceAll(TwoEntries());
        page.EnsureCreated();
        page.show();
    }
    CSharedSettings settings;
    CAccessControlList list;
    CPromptPolicy prompt;
    CMessageRecorder messages;
    COptionsSecurityPage page;
};

class SecurityEditorTests : public QObject {
    Q_OBJECT

  private slots:
    void modesSetTitleQuestionOkAndEdits() {
        CAddUpdateSecurityItemDlg add(TwoEntries(), {}, {}, false);
        QCOMPARE(add.DialogMode(), Mode::Add);
        QCOMPARE(add.windowTitle(), QStringLiteral("Add MAC Address"));
        QVERIFY(add.QuestionLabel()->isHidden());
        QVERIFY(!add.OkButton()->isEnabled());
        QVERIFY(add.MacEdit(0)->text().isEmpty());
        QCOMPARE(add.EnableBox()->checkState(), Qt::Checked);
        QCOMPARE(add.WenlowBox()->checkState(), Qt::Unchecked);

        CAddUpdateSecurityItemDlg one(TwoEntries(), {1}, {}, false);
        QCOMPARE(one.DialogMode(), Mode::UpdateOne);
        QCOMPARE(one.windowTitle(), QStringLiteral("Update Access Control Client"));
        QCOMPARE(one.MacEdit(5)->text(), QStringLiteral("5F"));
        QCOMPARE(one.NameEdit()->text(), QStringLiteral("Gate"));
        QCOMPARE(one.EnableBox()->checkState(), Qt::Unchecked);
        QCOMPARE(one.ClerkOrvoBox()->checkState(), Qt::Checked);
        // Products are unusable while "Enable" is clear.
        QVERIFY(!one.ClerkOrvoBox()->isEnabled());
        QVERIFY(!one.OkButton()->isEnabled());

        CAddUpdateSecurityItemDlg several(TwoEntries(), {0, 1}, {}, false);
        QCOMPARE(several.DialogMode(), Mode::UpdateSeveral);
        QCOMPARE(several.windowTitle(), QStringLiteral("Add MAC Address"));
        QVERIFY(!several.MacEdit(0)->isEnabled());
        QVERIFY(!several.NameEdit()->isEnabled());
        QVERIFY(several.MacEdit(0)->text().isEmpty());

        CAddUpdateSecurityItemDlg prompt({Entry(u"00:1A:2B:3C:4D:60")}, {0}, {}, true);
        QCOMPARE(prompt.DialogMode(), Mode::Prompt);
        QVERIFY(!prompt.QuestionLabel()->isHidden());
        QVERIFY(prompt.OkButton()->isEnabled());
        QCOMPARE(prompt.MacEdit(5)->text(), QStringLiteral("60"));
        prompt.show();
        QVERIFY(QTest::qWaitForWindowActive(&prompt));
        QCOMPARE(QApplication::focusWidget(), prompt.NameEdit());
        // Ticking "Enable" makes all three product boxes usable: a prompt turns every
        // product switch on.
        QVERIFY(!prompt.FieldOrvoBox()->isEnabled());
        Click(prompt.EnableBox());
        QVERIFY(prompt.WenlowBox()->isEnabled() && prompt.ClerkOrvoBox()->isEnabled() &&
                prompt.FieldOrvoBox()->isEnabled());
    }

    void productSwitchOffKeepsItsBoxUnusable() {
        CAddUpdateSecurityItemDlg add({}, {}, {false, true, true}, false);
        QVERIFY(!add.WenlowBox()->isEnabled());
        QVERIFY(add.ClerkOrvoBox()->isEnabled());
        Click(add.EnableBox());  // clear
        QVERIFY(!add.ClerkOrvoBox()->isEnabled());
        Click(add.EnableBox());  // ticked again
        QVERIFY(add.ClerkOrvoBox()->isEnabled());
        QVERIFY(!add.WenlowBox()->isEnabled());
    }

    void mixedSelectionShowsIndeterminateAndKeepsOwnValues() {
        CAddUpdateSecurityItemDlg several(TwoEntries(), {0, 1}, {}, false);
        QCOMPARE(several.EnableBox()->checkState(), Qt::PartiallyChecked);
        QCOMPARE(several.WenlowBox()->checkState(), Qt::Checked);
        QCOMPARE(several.ClerkOrvoBox()->checkState(), Qt::PartiallyChecked);
        QCOMPARE(several.FieldOrvoBox()->checkState(), Qt::PartiallyChecked);
        // Indeterminate "Enable" still leaves the products usable.
        QVERIFY(several.FieldOrvoBox()->isEnabled());
        // Touch only FieldOrvo: one click settles it to clear.
        Click(several.FieldOrvoBox());
        QCOMPARE(several.FieldOrvoBox()->checkState(), Qt::Unchecked);
        QVERIFY(several.OkButton()->isEnabled());
        Click(several.OkButton());
        QCOMPARE(several.result(), int(QDialog::Accepted));
        const auto& list = several.List();
        QCOMPARE(list[0].enabled, 1);
        QCOMPARE(list[1].enabled, 0);
        QCOMPARE(list[0].allowClerkOrvo, 0);
        QCOMPARE(list[1].allowClerkOrvo, 1);
        QCOMPARE(list[0].allowFieldOrvo, 0);
        QCOMPARE(list[1].allowFieldOrvo, 0);
    }

    void oneClickOnIndeterminateEnableClearsItThenAlternates() {
        CAddUpdateSecurityItemDlg several(TwoEntries(), {0, 1}, {}, false);
        Click(several.EnableBox());
        QCOMPARE(several.EnableBox()->checkState(), Qt::Unchecked);
        QVERIFY(!several.WenlowBox()->isEnabled());
        Click(several.EnableBox());
        QCOMPARE(several.EnableBox()->checkState(), Qt::Checked);
        Click(several.EnableBox());
        QCOMPARE(several.EnableBox()->checkState(), Qt::Unchecked);
        Click(several.OkButton());
        QCOMPARE(several.List()[0].enabled, 0);
        QCOMPARE(several.List()[1].enabled, 0);
    }

    void updateSeveralNeverChangesMacTextsOrNames() {
        const auto before = TwoEntries();
        CAddUpdateSecurityItemDlg several(before, {0, 1}, {}, false);
        // Even text forced into the disabled edits is not taken over.
        several.MacEdit(0)->setText(QStringLiteral("FF"));
        several.NameEdit()->setText(QStringLiteral("Changed"));
        Click(several.WenlowBox());  // ticked -> clear for both
        Click(several.OkButton());
        QCOMPARE(several.result(), int(QDialog::Accepted));
        for (int i = 0; i < 2; ++i) {
            QVERIFY(several.List()[i].GetMacText() == before[i].GetMacText());
            QVERIFY(several.List()[i].name == before[i].name);
            QCOMPARE(several.List()[i].allowWenlow, 0);
        }
    }

    void invalidCharacterIsRefusedAndLettersAreUpperCasedAtOk() {
        CMessageRecorder messages;
        CAddUpdateSecurityItemDlg add({}, {}, {}, false, nullptr, messages.Fn());
        TypeInto(add.MacEdit(0), QStringLiteral("a"));
        QVERIFY(add.OkButton()->isEnabled());
        QTest::keyClicks(add.MacEdit(0), QStringLiteral("-"));
        QCOMPARE(messages.texts, QStringList{QStringLiteral("Valid characters are 0-9, A-Z")});
        QCOMPARE(add.MacEdit(0)->text(), QStringLiteral("a"));
        QTest::keyClicks(add.MacEdit(0), QStringLiteral("g"));
        TypeMac(add, {QStringLiteral("ag"), QStringLiteral("1b"), QStringLiteral("2C"),
                      QStringLiteral("3d"), QStringLiteral("4E"), QStringLiteral("5f")});
        Click(add.OkButton());
        QCOMPARE(add.result(), int(QDialog::Accepted));
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY(add.List().back().GetMacText() == u"AG:1B:2C:3D:4E:5F");
        QCOMPARE(add.MacEdit(0)->text(), QStringLiteral("AG"));
        // Added with the boxes as shown: enabled, no product.
        QCOMPARE(add.List().back().enabled, 1);
        QCOMPARE(add.List().back().allowWenlow, 0);
    }

    void incompleteAddressIsRefusedInAddModeOnly() {
        CMessageRecorder messages;
        CAddUpdateSecurityItemDlg add(TwoEntries(), {}, {}, false, nullptr, messages.Fn());
        TypeMac(add, {QStringLiteral("00"), QStringLiteral("1A"), QStringLiteral("2B"),
                      QStringLiteral("3C"), QStringLiteral("4D"), QStringLiteral("6")});
        Click(add.OkButton());
        QVERIFY(add.result() != int(QDialog::Accepted));
        QCOMPARE(messages.texts,
                 QStringList{QStringLiteral("You have entered an incomplete MAC address.  The "
                                            "MAC Address must be 12 bytes long.")});
        QCOMPARE(add.List().size(), size_t(2));
        QCOMPARE(add.MacEdit(5)->text(), QStringLiteral("6"));

        // A prompt takes the address as the operator leaves it.
        CMessageRecorder promptMessages;
        CAddUpdateSecurityItemDlg prompt({Entry(u"00:1A:2B:3C:4D:60")}, {0}, {}, true, nullptr,
                                         promptMessages.Fn());
        prompt.MacEdit(5)->setFocus();
        QTest::keyClick(prompt.MacEdit(5), Qt::Key_Backspace);
        Click(prompt.OkButton());
        QCOMPARE(prompt.result(), int(QDialog::Accepted));
        QVERIFY(promptMessages.texts.isEmpty());
        QVERIFY(prompt.List()[0].GetMacText() == u"00:1A:2B:3C:4D:6");
    }

    void duplicateAddressIsRefusedAfterUpperCasing() {
        CMessageRecorder messages;
        CAddUpdateSecurityItemDlg add(TwoEntries(), {}, {}, false, nullptr, messages.Fn());
        TypeMac(add, {QStringLiteral("00"), QStringLiteral("1a"), QStringLiteral("2b"),
                      QStringLiteral("3c"), QStringLiteral("4d"), QStringLiteral("5e")});
        Click(add.OkButton());
        QVERIFY(add.result() != int(QDialog::Accepted));
        QCOMPARE(messages.texts,
                 QStringList{QStringLiteral("A client with that MAC address already exists.")});
        QCOMPARE(add.List().size(), size_t(2));

        // Updating one entry to another entry's address is refused the same way.
        CMessageRecorder updateMessages;
        CAddUpdateSecurityItemDlg one(TwoEntries(), {1}, {}, false, nullptr, updateMessages.Fn());
        TypeMac(one, {QStringLiteral("00"), QStringLiteral("1A"), QStringLiteral("2B"),
                      QStringLiteral("3C"), QStringLiteral("4D"), QStringLiteral("5e")});
        Click(one.OkButton());
        QVERIFY(one.result() != int(QDialog::Accepted));
        QCOMPARE(updateMessages.texts.size(), 1);

        // Keeping its own address is no collision.
        CAddUpdateSecurityItemDlg same(TwoEntries(), {1}, {}, false, nullptr, updateMessages.Fn());
        same.NameEdit()->clear();
        QTest::keyClicks(same.NameEdit(), QStringLiteral("Back gate"));
        Click(same.OkButton());
        QCOMPARE(same.result(), int(QDialog::Accepted));
        QVERIFY(same.List()[1].name == u"Back gate");
        QVERIFY(same.List()[1].GetMacText() == u"00:1A:2B:3C:4D:5F");
        QCOMPARE(same.List()[1].allowClerkOrvo, 1);
    }

    void typingRunsOnThroughTheSixEdits() {
        CAddUpdateSecurityItemDlg add({}, {}, {}, false);
        add.show();
        QVERIFY(QTest::qWaitForWindowActive(&add));
        QCOMPARE(QApplication::focusWidget(), add.MacEdit(0));
        const QString typed = QStringLiteral("001A2B3C4D5E");
        for (QChar c : typed) QTest::keyClicks(QApplication::focusWidget(), QString(c));
        for (int i = 0; i < 6; ++i) QCOMPARE(add.MacEdit(i)->text(), typed.mid(2 * i, 2));
        // The sixth edit keeps the focus: nothing follows it.
        QCOMPARE(QApplication::focusWidget(), add.MacEdit(5));
        QTest::keyClicks(add.MacEdit(5), QStringLiteral("7"));
        QCOMPARE(add.MacEdit(5)->text(), QStringLiteral("5E"));
    }

    void cancelLeavesTheListUnused() {
        CAddUpdateSecurityItemDlg one(TwoEntries(), {0}, {}, false);
        Click(one.EnableBox());
        one.reject();
        QVERIFY(one.List() == TwoEntries());
    }

    // The page's list ------------------------------------------------------------------------

    void listShowsColumnsColoursAndProductRule() {
        CSharedSettings settings;
        settings.Update([](CKestromSettings& s) {
            s.SecurityEnabled = true;
            s.ClerkOrvoSecurityEnabled = true;
            s.FieldOrvoSecurityEnabled = true;  // Wenlow security stays off
        });
        CAccessControlList list;
        list.ReplaceAll(TwoEntries());
        CPromptPolicy prompt;
        CMessageRecorder messages;
        COptionsSecurityPage page(settings, list, prompt, messages.Fn());
        page.EnsureCreated();
        QTreeWidget* rows = page.List();
        QCOMPARE(rows->columnCount(), 6);
        QCOMPARE(rows->headerItem()->text(0), QStringLiteral("MAC Address"));
        QCOMPARE(rows->headerItem()->text(5), QStringLiteral("FieldOrvo"));
        const int width = rows->columnWidth(0);
        QCOMPARE(rows->columnWidth(1), width);
        QVERIFY(std::abs(rows->columnWidth(2) * 2 - width) <= 1);
        QVERIFY(rows->selectionMode() == QAbstractItemView::ExtendedSelection);

        QCOMPARE(rows->topLevelItemCount(), 2);
        QTreeWidgetItem* pit = rows->topLevelItem(0);
        QCOMPARE(pit->text(0), QStringLiteral("00:1A:2B:3C:4D:5E"));
        QCOMPARE(pit->text(2), QStringLiteral("Yes"));
        QCOMPARE(pit->text(3), QStringLiteral("No"));  // allowed, but Wenlow security is off
        QCOMPARE(pit->text(4), QStringLiteral("No"));
        QCOMPARE(pit->text(5), QStringLiteral("Yes"));
        QCOMPARE(pit->foreground(5).color(), QColor(0, 210, 0));
        QCOMPARE(pit->foreground(4).color(), QColor(255, 0, 0));
        QCOMPARE(pit->background(0).color(), QColor(255, 255, 255));
        QTreeWidgetItem* gate = rows->topLevelItem(1);
        // Not enabled: every product shows "No" and the row is grey.
        QCOMPARE(gate->text(4), QStringLiteral("No"));
        QCOMPARE(gate->background(0).color(), QColor(210, 210, 210));

        // Turning security off greys every row and disables the editor but not "&Update".
        Click(page.SecurityBox());
        QCOMPARE(pit->background(3).color(), QColor(210, 210, 210));
        QVERIFY(!page.AddButton()->isEnabled());
        QVERIFY(!rows->isEnabled());
        Click(page.SecurityBox());
        QVERIFY(page.AddButton()->isEnabled());
        QVERIFY(page.UpdateButton()->isEnabled());  // although no row is selected
        QVERIFY(!page.DeleteButton()->isEnabled());
    }

    void securityOffDisablesTheEditorOnCreation() {
        CSharedSettings settings;
        CAccessControlList list;
        CPromptPolicy prompt;
        prompt.SetEnabled(true);
        COptionsSecurityPage page(settings, list, prompt, CMessageRecorder().Fn());
        page.EnsureCreated();
        QVERIFY(!page.SecurityBox()->isChecked());
        QVERIFY(page.PromptBox()->isChecked());
        QVERIFY(!page.PromptBox()->isEnabled());
        QVERIFY(!page.List()->isEnabled());
        QVERIFY(!page.AddButton()->isEnabled());
        QVERIFY(!page.UpdateButton()->isEnabled());
    }

    void deletingRowsReindexesTheRest() {
        CSharedSettings settings;
        settings.Update([](CKestromSettings& s) { s.SecurityEnabled = true; });
        CAccessControlList list;
        std::vector<CAccessControlItem> five;
        for (char16_t last : std::u16string(u"12345")) {
            five.push_back(Entry(std::u16string(u"00:00:00:00:00:0") + last));
        }
        list.ReplaceAll(five);
        CPromptPolicy prompt;
        CMessageRecorder messages;
        COptionsSecurityPage page(settings, list, prompt, messages.Fn());
        page.EnsureCreated();
        QTreeWidget* rows = page.List();
        rows->topLevelItem(1)->setSelected(true);
        rows->topLevelItem(3)->setSelected(true);
        QVERIFY(page.DeleteButton()->isEnabled());
        page.OnDelete();
        QCOMPARE(messages.texts,
                 QStringList{QStringLiteral("Are you sure you want to delete the selected "
                                            "entries?")});
        QCOMPARE(rows->topLevelItemCount(), 3);
        const QStringList expected = {QStringLiteral("00:00:00:00:00:01"),
                                      QStringLiteral("00:00:00:00:00:03"),
                                      QStringLiteral("00:00:00:00:00:05")};
        for (int r = 0; r < 3; ++r) {
            QTreeWidgetItem* row = rows->topLevelItem(r);
            QCOMPARE(row->data(0, kEntryIndexRole).toInt(), r);
            QCOMPARE(row->text(0), expected[r]);
            QCOMPARE(QString::fromStdU16String(page.WorkingList()[r].GetMacText()), expected[r]);
        }
        QVERIFY(!page.DeleteButton()->isEnabled());
        QVERIFY(page.UpdateButton()->isEnabled());
        // Nothing reaches the access list before the sheet's OK.
        QCOMPARE(list.Size(), size_t(5));

        // "No" leaves everything as it was.
        messages.answer = QMessageBox::No;
        rows->topLevelItem(0)->setSelected(true);
        page.OnDelete();
        QCOMPARE(rows->topLevelItemCount(), 3);
    }

    void doubleClickWithoutSelectionAsksForAnItem() {
        PageOfTwoEntries p(1);
        QTest::mouseDClick(p.page.List()->viewport(), Qt::LeftButton, {},
                           QPoint(5, p.page.List()->viewport()->height() - 5));
        QCOMPARE(p.messages.texts, QStringList{QStringLiteral("Please select an item")});
    }

    void doubleClickOnTheGreyedOutListDoesNothing() {
        PageOfTwoEntries p(0);  // security off: the list is greyed out
        QVERIFY(!p.page.List()->isEnabled());
        bool dialogShown = false;
        // Were Update to open, its dialog would show; it is closed again so the test goes on.
        QTimer::singleShot(0, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                dialogShown = true;
                dialog->reject();
            }
        });
        QTest::mouseDClick(p.page.List()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QCoreApplication::processEvents();
        QVERIFY(!dialogShown);
        QVERIFY(p.messages.texts.isEmpty());
        QCOMPARE(p.page.WorkingList().size(), size_t(2));
    }

    void updateAndAddThroughTheDialogRefillTheList() {
        CSharedSettings settings;
        settings.Update([](CKestromSettings& s) {
            s.SecurityEnabled = true;
            s.WenlowSecurityEnabled = true;
        });
        CAccessControlList list;
        list.ReplaceAll(TwoEntries());
        CPromptPolicy prompt;
        COptionsSecurityPage page(settings, list, prompt, CMessageRecorder().Fn());
        page.EnsureCreated();
        page.List()->topLevelItem(1)->setSelected(true);
        WhenModalShows<CAddUpdateSecurityItemDlg>([](CAddUpdateSecurityItemDlg& dialog) {
            QCOMPARE(dialog.DialogMode(), Mode::UpdateOne);
            QVERIFY(dialog.WenlowBox()->isEnabled() == false);  // "Enable" is clear
            Click(dialog.EnableBox());
            QVERIFY(dialog.WenlowBox()->isEnabled());
            QVERIFY(!dialog.ClerkOrvoBox()->isEnabled());  // its page box is clear
            Click(dialog.OkButton());
        });
        page.OnUpdate();
        QCOMPARE(page.WorkingList()[1].enabled, 1);
        QCOMPARE(page.List()->topLevelItem(1)->text(3), QStringLiteral("Yes"));
        QVERIFY(!page.UpdateButton()->isEnabled());

        WhenModalShows<CAddUpdateSecurityItemDlg>([](CAddUpdateSecurityItemDlg& dialog) {
            QCOMPARE(dialog.DialogMode(), Mode::Add);
            TypeMac(dialog, {QStringLiteral("0a"), QStringLiteral("0b"), QStringLiteral("0c"),
                             QStringLiteral("0d"), QStringLiteral("0e"), QStringLiteral("0f")});
            Click(dialog.OkButton());
        });
        page.OnAdd();
        QCOMPARE(page.List()->topLevelItemCount(), 3);
        QCOMPARE(page.List()->topLevelItem(2)->text(0), QStringLiteral("0A:0B:0C:0D:0E:0F"));
        QCOMPARE(page.List()->topLevelItem(2)->data(0, kEntryIndexRole).toInt(), 2);
        QCOMPARE(list.Size(), size_t(2));
    }
};

QTEST_MAIN(SecurityEditorTests)
#include "security_editor_test.moc"
