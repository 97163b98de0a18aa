// The options sheet: which pages it has, the options-open switch, OK and Cancel page by page.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "security/AccessListStorage.h"
#include "server/Server.h"
#include "support/fakes.h"
#include "ui/OptionsDatabasePage.h"
#include "ui/OptionsGeneralPage.h"
#include "ui/OptionsSecurityPage.h"
#include "ui/OptionsSheet.h"
#include "ui/options_test_support.h"

using namespace kestrom;
using namespace kestrom::testing;

namespace {

COptionsSheetHooks Hooks(Qt::KeyboardModifiers held, CMessageRecorder& messages) {
    return {[held] { return held; }, messages.Fn()};
}

const Qt::KeyboardModifiers kShiftCtrl = Qt::ShiftModifier | Qt::ControlModifier;

QStringList TabTitles(const COptionsSheet& sheet) {
    QStringList titles;
    for (int i = 0; i < sheet.Tabs()->count(); ++i) titles << sheet.Tabs()->tabText(i);
    return titles;
}

}  // namespace

class OptionsSheetTests : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        server_ = std::make_unique<CKestromServer>(operator_);
        server_->AccessList().SetStoragePath(
            (folder_->path() + QStringLiteral("/KestromMAC.dat")).toStdU16String());
        server_->AccessList().ReplaceAll({Entry(u"00:1A:2B:3C:4D:5E", u"Pit", 1, 1, 1, 1),
                                          Entry(u"00:1A:2B:3C:4D:5F", u"Gate", 0, 0, 0, 0)});
        server_->Settings().Update([](CKestromSettings& s) { s.SecurityEnabled = true; });
        messages_ = {};
    }
    void cleanup() {
        server_.reset();
        folder_.reset();
    }

    void pagesDependOnModifiersAndMode() {
        COptionsSheet plain(*server_, false, nullptr, Hooks({}, messages_));
        QCOMPARE(plain.windowTitle(), QStringLiteral("Options"));
        QCOMPARE(TabTitles(plain),
                 (QStringList{QStringLiteral("Database"), QStringLiteral("Security")}));
        QVERIFY(plain.GeneralPage() == nullptr);
        QVERIFY(plain.DatabasePage()->IsCreated());
        QVERIFY(!plain.SecurityPage()->IsCreated());
        QCOMPARE(plain.Buttons()->buttons().size(), 2);
        QVERIFY(plain.Buttons()->button(QDialogButtonBox::Ok));
        QVERIFY(plain.Buttons()->button(QDialogButtonBox::Cancel));

        COptionsSheet shiftOnly(*server_, false, nullptr, Hooks(Qt::ShiftModifier, messages_));
        QVERIFY(shiftOnly.GeneralPage() == nullptr);

        COptionsSheet advanced(*server_, false, nullptr, Hooks(kShiftCtrl, messages_));
        QCOMPARE(TabTitles(advanced),
                 (QStringList{QStringLiteral("General"), QStringLiteral("Database"),
                              QStringLiteral("Security")}));
        QCOMPARE(advanced.Tabs()->currentIndex(), 0);
        QVERIFY(advanced.GeneralPage()->IsCreated());
        QVERIFY(!advanced.DatabasePage()->IsCreated());
        advanced.Tabs()->setCurrentIndex(2);
        QVERIFY(advanced.SecurityPage()->IsCreated());

        COptionsSheet hyWire(*server_, true, nullptr, Hooks(kShiftCtrl, messages_));
        QCOMPARE(TabTitles(hyWire),
                 (QStringList{QStringLiteral("General"), QStringLiteral("Database")}));
        QVERIFY(hyWire.SecurityPage() == nullptr);
    }

    void openSwitchIsSetWhileTheSheetShows() {
        QVERIFY(!server_->Prompts().HeldBack().has_value());
        COptionsSheet sheet(*server_, false, nullptr, Hooks({}, messages_));
        sheet.show();
        QVERIFY(server_->Prompts().HeldBack().has_value());
        // A refused Cancel keeps the sheet, and prompting stays refused.
        sheet.Tabs()->setCurrentIndex(1);
        sheet.SecurityPage()->List()->topLevelItem(0)->setSelected(true);
        sheet.SecurityPage()->OnDelete();
        messages_.answer = QMessageBox::No;
        sheet.reject();
        QVERIFY(sheet.isVisible());
        QVERIFY(server_->Prompts().HeldBack().has_value());
        messages_.answer = QMessageBox::Yes;
        sheet.reject();
        QVERIFY(!sheet.isVisible());
        QVERIFY(!server_->Prompts().HeldBack().has_value());
    }

    void generalPageShowsListenerSizesAndResets() {
        server_->Settings().Update([](CKestromSettings& s) { s.PortNumber = 0; });
        QVERIFY(server_->StartListening());
        const int send = server_->ListenerSendBufferSize();
        const int receive = server_->ListenerReceiveBufferSize();
        QVERIFY(send > 0 && receive > 0);

        COptionsSheet sheet(*server_, false, nullptr, Hooks(kShiftCtrl, messages_));
        COptionsGeneralPage* page = sheet.GeneralPage();
        QCOMPARE(page->SendEdit()->text(), QString::number(send));
        QCOMPARE(page->ReceiveEdit()->text(), QString::number(receive));
        QCOMPARE(server_->Settings().Get().TCPInitSendBufferSize, send);
        // Only digits can be typed.
        page->SendEdit()->clear();
        QTest::keyClicks(page->SendEdit(), QStringLiteral("-12x3"));
        QCOMPARE(page->SendEdit()->text(), QStringLiteral("123"));
        page->ReceiveEdit()->setText(QStringLiteral("4096"));
        page->SendReset()->click();
        QCOMPARE(page->SendEdit()->text(), QString::number(send));
        QCOMPARE(page->ReceiveEdit()->text(), QStringLiteral("4096"));
        sheet.accept();
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
        QCOMPARE(server_->Settings().Get().TCPSendBufferSize, send);
        QCOMPARE(server_->Settings().Get().TCPReceiveBufferSize, 4096);
        server_->StopListening();
    }

    void storedSizesAreKeptAndANonIntegerIsRefused() {
        server_->Settings().Update([](CKestromSettings& s) {
            s.TCPSendBufferSize = 8192;
            s.TCPReceiveBufferSize = 16384;
        });
        QVERIFY(server_->StartListening());
        COptionsSheet sheet(*server_, false, nullptr, Hooks(kShiftCtrl, messages_));
        sheet.show();
        COptionsGeneralPage* page = sheet.GeneralPage();
        QCOMPARE(page->SendEdit()->text(), QStringLiteral("8192"));
        page->ReceiveEdit()->clear();
        // Leaving the page is refused...
        sheet.Tabs()->setCurrentIndex(1);
        QCOMPARE(sheet.Tabs()->currentIndex(), 0);
        QCOMPARE(messages_.texts, QStringList{QStringLiteral("Enter an integer.")});
        QVERIFY(!sheet.DatabasePage()->IsCreated());
        // ...and so is OK, which leaves the settings alone.
        sheet.accept();
        QVERIFY(sheet.isVisible());
        QCOMPARE(messages_.texts.size(), 2);
        QCOMPARE(server_->Settings().Get().TCPReceiveBufferSize, 16384);
        page->ReceiveEdit()->setText(QStringLiteral("99999999999"));  // beyond an int
        sheet.accept();
        QVERIFY(sheet.isVisible());
        page->ReceiveEdit()->setText(QStringLiteral("32768"));
        sheet.accept();
        QVERIFY(!sheet.isVisible());
        QCOMPARE(server_->Settings().Get().TCPReceiveBufferSize, 32768);
        server_->StopListening();
    }

    void resetChecksTheOtherEditFirst() {
        server_->Settings().Update([](CKestromSettings& s) {
            s.TCPSendBufferSize = 8192;
            s.TCPReceiveBufferSize = 16384;
            s.TCPInitSendBufferSize = 4096;
            s.TCPInitReceiveBufferSize = 2048;
        });
        COptionsSheet sheet(*server_, false, nullptr, Hooks(kShiftCtrl, messages_));
        sheet.show();
        COptionsGeneralPage* page = sheet.GeneralPage();
        // The receive edit holds no integer: the send Reset refuses and selects it.
        page->ReceiveEdit()->setText(QStringLiteral("99999999999"));
        page->SendEdit()->setText(QStringLiteral("123"));
        page->SendReset()->click();
        QCOMPARE(messages_.texts, QStringList{QStringLiteral("Enter an integer.")});
        QCOMPARE(page->SendEdit()->text(), QStringLiteral("123"));
        QCOMPARE(page->ReceiveEdit()->text(), QStringLiteral("99999999999"));
        QCOMPARE(page->ReceiveEdit()->selectedText(), QStringLiteral("99999999999"));
        // The same the other way round, with an empty send edit.
        page->SendEdit()->clear();
        page->ReceiveReset()->click();
        QCOMPARE(messages_.texts.size(), 2);
        QCOMPARE(page->ReceiveEdit()->text(), QStringLiteral("99999999999"));
        // With integers in the other edit each Reset does its work.
        page->SendEdit()->setText(QStringLiteral("777"));
        page->ReceiveReset()->click();
        QCOMPARE(page->ReceiveEdit()->text(), QStringLiteral("2048"));
        page->SendReset()->click();
        QCOMPARE(page->SendEdit()->text(), QStringLiteral("4096"));
        QCOMPARE(messages_.texts.size(), 2);
        sheet.reject();
    }

    void databasePageSetsCharModeAtOk() {
        COptionsSheet sheet(*server_, false, nullptr, Hooks({}, messages_));
        QVERIFY(sheet.DatabasePage()->SingleByteButton()->isChecked());
        sheet.DatabasePage()->UnicodeButton()->click();
        QCOMPARE(server_->Settings().Get().CharMode, 0);
        sheet.accept();
        QCOMPARE(server_->Settings().Get().CharMode, 1);

        COptionsSheet cancelled(*server_, false, nullptr, Hooks({}, messages_));
        QVERIFY(cancelled.DatabasePage()->UnicodeButton()->isChecked());
        cancelled.DatabasePage()->SingleByteButton()->click();
        cancelled.reject();
        QCOMPARE(server_->Settings().Get().CharMode, 1);
    }

    void cancelAsksOnlyAfterListChanges() {
        {
            COptionsSheet sheet(*server_, false, nullptr, Hooks({}, messages_));
            sheet.show();
            sheet.Tabs()->setCurrentIndex(1);
            sheet.SecurityPage()->WenlowBox()->click();
            sheet.SecurityPage()->PromptBox()->click();
            sheet.reject();
            QVERIFY(messages_.texts.isEmpty());
            QCOMPARE(sheet.result(), int(QDialog::Rejected));
            QVERIFY(!server_->Settings().Get().WenlowSecurityEnabled);
            QVERIFY(!server_->Prompts().Enabled());
        }
        COptionsSheet sheet(*server_, false, nullptr, Hooks({}, messages_));
        sheet.show();
        sheet.Tabs()->setCurrentIndex(1);
        sheet.SecurityPage()->List()->topLevelItem(1)->setSelected(true);
        sheet.SecurityPage()->OnDelete();
        messages_.texts.clear();
        messages_.answer = QMessageBox::No;
        sheet.reject();
        QCOMPARE(messages_.texts,
                 QStringList{QStringLiteral("Changes have been made to the security settings.  "
                                            "If you continue, all changes will be lost.  Do you "
                                            "wish to continue?")});
        QVERIFY(sheet.isVisible());
        messages_.answer = QMessageBox::Yes;
        sheet.reject();
        QVERIFY(!sheet.isVisible());
        QCOMPARE(server_->AccessList().Size(), size_t(2));
        QVERIFY(!QFile::exists(folder_->path() + QStringLiteral("/KestromMAC.dat")));
    }

    void securityOkReplacesAndSavesTheList() {
        COptionsSheet sheet(*server_, false, nullptr, Hooks({}, messages_));
        sheet.show();
        sheet.Tabs()->setCurrentIndex(1);
        COptionsSecurityPage* page = sheet.SecurityPage();
        page->List()->topLevelItem(0)->setSelected(true);
        page->OnDelete();
        page->FieldOrvoBox()->click();
        page->PromptBox()->click();
        sheet.accept();
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
        const std::vector<CAccessControlItem> expected = {Entry(u"00:1A:2B:3C:4D:5F", u"Gate")};
        QVERIFY(server_->AccessList().Snapshot() == expected);
        QVERIFY(server_->Settings().Get().FieldOrvoSecurityEnabled);
        QVERIFY(server_->Prompts().Enabled());

        CAccessControlList reloaded;
        reloaded.SetStoragePath(server_->AccessList().StoragePath());
        QVERIFY(LoadAccessList(reloaded).Ok());
        QVERIFY(reloaded.Snapshot() == expected);
    }

    void saveFailureIsShownAndTheListChangesAllTheSame() {
        server_->AccessList().SetStoragePath(
            (folder_->path() + QStringLiteral("/missing/KestromMAC.dat")).toStdU16String());
        COptionsSheet sheet(*server_, false, nullptr, Hooks({}, messages_));
        sheet.Tabs()->setCurrentIndex(1);
        sheet.SecurityPage()->List()->topLevelItem(0)->setSelected(true);
        sheet.SecurityPage()->OnDelete();
        messages_.texts.clear();
        sheet.accept();
        QCOMPARE(messages_.texts.size(), 1);
        QVERIFY(messages_.texts[0].startsWith(QStringLiteral("Kestrom was unable to open")));
        QCOMPARE(server_->AccessList().Size(), size_t(1));
    }

    void pagesNeverShownTakeNoPartInOk() {
        COptionsSheet sheet(*server_, false, nullptr, Hooks({}, messages_));
        // A client accepted at a prompt meanwhile must not be lost by a page never opened.
        server_->AccessList().Append({Entry(u"00:00:00:00:00:09")});
        server_->Prompts().SetEnabled(true);
        sheet.accept();
        QCOMPARE(server_->AccessList().Size(), size_t(3));
        QVERIFY(server_->Prompts().Enabled());
        QVERIFY(!QFile::exists(folder_->path() + QStringLiteral("/KestromMAC.dat")));
    }

  private:
    testing::CRecordingOperator operator_;
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<CKestromServer> server_;
    CMessageRecorder messages_;
};

QTEST_MAIN(OptionsSheetTests)
#include "options_sheet_test.moc"
