// The whole program in this process: security and prompting switched on through the options
// sheet, an unknown client on 127.0.0.2 (its MAC address from a stand-in ARP table) raises
// the prompt, the operator adds it as edited, the storage file holds it, and the client's
// next message is admitted or refused by the boxes the operator left.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

#include "base/TextConvert.h"
#include "security/AccessListStorage.h"
#include "security/MacLookup.h"
#include "server/Server.h"
#include "tools/ClientConnection.h"
#include "ui/EventLog.h"
#include "ui/KestromApp.h"
#include "ui/KestromDlg.h"
#include "ui/OptionsSecurityPage.h"
#include "ui/OptionsSheet.h"
#include "ui/options_test_support.h"
#include "ui/ui_test_support.h"

using namespace kestrom;
using namespace kestrom::testing;
using namespace kestrom::client;
using namespace std::chrono_literals;

namespace {

const char* kClientIp = "127.0.0.2";
const QString kClientMac = QStringLiteral("02:00:00:AA:BB:CC");

// Sends a FieldOrvo ping from 127.0.0.2, so the server sees a peer with an ARP entry (in the
// stand-in table) rather than the loopback address it never checks. Returns the reply's
// command code, or empty when none came.
std::string FieldOrvoPingCode(CClientConnection& connection) {
    if (!connection.SendText(BuildRequest(u"HFL"))) return {};
    const auto reply = connection.ReceiveReply(10s);
    return reply ? ToUtf8(reply->code) : std::string();
}

std::unique_ptr<CClientConnection> ConnectAsClient(int port) {
    return CClientConnection::Connect("127.0.0.1", port, WireMode::kSingleByte, 10s, kClientIp);
}

}  // namespace

class OptionsPromptEndToEndTests : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(runtimeDir_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtimeDir_.path().toUtf8());
        QFile arp(runtimeDir_.path() + QStringLiteral("/arp"));
        QVERIFY(arp.open(QIODevice::WriteOnly));
        arp.write(
            "IP address       HW type     Flags       HW address            Mask     "
            "Device\n"
            "127.0.0.2        0x1         0x2         02:00:00:aa:bb:cc     *        lo\n");
        arp.close();
        qputenv(kArpTableEnvironment, arp.fileName().toUtf8());
    }

    void promptedClientIsAddedSavedAndJudgedByItsBoxes_data() {
        QTest::addColumn<bool>("allowFieldOrvo");
        QTest::addColumn<QString>("secondReply");
        QTest::newRow("FieldOrvo ticked") << true << QStringLiteral("HMM");
        QTest::newRow("FieldOrvo left clear") << false << QStringLiteral("TCC");
    }

    void promptedClientIsAddedSavedAndJudgedByItsBoxes() {
        QFETCH(bool, allowFieldOrvo);
        QFETCH(QString, secondReply);
        QTemporaryDir config;
        const int port = FreeLoopbackPort();
        QVERIFY(port > 0);
        CKestromApp program(
            *qApp, {"--config-dir", config.path().toStdString(), "--port", std::to_string(port)});
        std::string firstReply, nextReply;
        bool connected = false, switchesSet = false, prompted = false, sawAdded = false,
             sawRefusal = false, refusedWhileOpen = false, finished = false;
        const int rc = program.Run([&](CKestromDlg& window) {
            window.EventLog()->SetLogEvents(true);
            CKestromServer& server = window.Server();

            // The operator turns on security, FieldOrvo security and prompting.
            WhenModalShows<COptionsSheet>([&](COptionsSheet& sheet) {
                refusedWhileOpen = server.Prompts().HeldBack().has_value();
                sheet.Tabs()->setCurrentWidget(sheet.SecurityPage());
                for (QCheckBox* box :
                     {sheet.SecurityPage()->SecurityBox(), sheet.SecurityPage()->FieldOrvoBox(),
                      sheet.SecurityPage()->PromptBox()}) {
                    if (!box->isChecked()) box->click();
                }
                sheet.Buttons()->button(QDialogButtonBox::Ok)->click();
            });
            window.OnOptions();
            switchesSet = server.Settings().Get().SecurityEnabled &&
                          server.Settings().Get().FieldOrvoSecurityEnabled &&
                          server.Prompts().Enabled() && !server.Prompts().HeldBack().has_value();

            // The operator names the client and ticks its boxes at the prompt.
            WhenModalShows<CAddUpdateSecurityItemDlg>([&](CAddUpdateSecurityItemDlg& dialog) {
                QString mac;
                for (int i = 0; i < 6; ++i) mac += (i ? ":" : "") + dialog.MacEdit(i)->text();
                prompted = dialog.DialogMode() == CAddUpdateSecurityItemDlg::Mode::Prompt &&
                           mac == kClientMac && !dialog.QuestionLabel()->isHidden();
                QTest::keyClicks(dialog.NameEdit(), QStringLiteral("Track 1"));
                dialog.EnableBox()->click();
                if (allowFieldOrvo) dialog.FieldOrvoBox()->click();
                dialog.OkButton()->click();
            });
            std::atomic<bool> done{false};
            std::thread client([&] {
                const auto connection = ConnectAsClient(port);
                connected = connection != nullptr;
                if (connected) {
                    firstReply = FieldOrvoPingCode(*connection);
                    nextReply = FieldOrvoPingCode(*connection);
                }
                done = true;
            });
            finished = QTest::qWaitFor([&] { return done.load(); }, 20000);
            client.join();
            // The connection logged its lines before each reply; the window takes them from
            // its event loop, and the wait above may end before that take has run.
            QCoreApplication::processEvents();
            const QListWidget* log = window.EventLog()->List();
            sawAdded = LogHasLine(log, QStringLiteral("(%1) Client not in the Access Control List "
                                                      "has been added to the list.")
                                           .arg(kClientMac));
            sawRefusal = LogHasLine(log, QStringLiteral("(Track 1) Client is disabled in the "
                                                        "security list and attempted to access "
                                                        "FieldOrvo data."));
            window.close();
        });
        QCOMPARE(rc, 0);
        QVERIFY(refusedWhileOpen);
        QVERIFY(switchesSet);
        QVERIFY(connected);
        QVERIFY(finished);
        QVERIFY(prompted);
        // The message that raised the prompt is refused either way.
        QCOMPARE(QString::fromStdString(firstReply), QStringLiteral("TCC"));
        QCOMPARE(QString::fromStdString(nextReply), secondReply);
        QVERIFY(sawAdded);
        QCOMPARE(sawRefusal, !allowFieldOrvo);

        CAccessControlList stored;
        stored.SetStoragePath((config.path() + QStringLiteral("/KestromMAC.dat")).toStdU16String());
        QVERIFY(LoadAccessList(stored).Ok());
        const auto entries = stored.Snapshot();
        QCOMPARE(entries.size(), size_t(1));
        QCOMPARE(QString::fromStdU16String(entries[0].GetMacText()), kClientMac);
        QVERIFY(entries[0].name == u"Track 1");
        QCOMPARE(entries[0].enabled, 1);
        QCOMPARE(entries[0].allowFieldOrvo, allowFieldOrvo ? 1 : 0);
        QCOMPARE(entries[0].allowWenlow, 0);
    }

    void noPromptWhileTheOptionsSheetIsOpen() {
        QTemporaryDir config;
        const int port = FreeLoopbackPort();
        QVERIFY(port > 0);
        CKestromApp program(
            *qApp, {"--config-dir", config.path().toStdString(), "--port", std::to_string(port)});
        std::string reply;
        bool sawOpenLine = false, promptShown = false;
        const int rc = program.Run([&](CKestromDlg& window) {
            window.EventLog()->SetLogEvents(true);
            window.Server().Settings().Update(
                [](CKestromSettings& s) { s.SecurityEnabled = true; });
            window.Server().Prompts().SetEnabled(true);
            WhenModalShows<COptionsSheet>([&](COptionsSheet& sheet) {
                std::atomic<bool> done{false};
                std::thread client([&] {
                    const auto connection = ConnectAsClient(port);
                    if (connection) reply = FieldOrvoPingCode(*connection);
                    done = true;
                });
                sawOpenLine = QTest::qWaitFor(
                    [&] {
                        return LogHasLine(
                            window.EventLog()->List(),
                            QStringLiteral("Kestrom Options dialog is open.  Prompting "
                                           "for clients will not work until the dialog "
                                           "is closed."));
                    },
                    10000);
                (void)QTest::qWaitFor([&] { return done.load(); }, 10000);
                client.join();
                promptShown = QApplication::activeModalWidget() != &sheet;
                sheet.reject();
            });
            window.OnOptions();
            window.close();
        });
        QCOMPARE(rc, 0);
        QCOMPARE(QString::fromStdString(reply), QStringLiteral("TCC"));
        QVERIFY(sawOpenLine);
        QVERIFY(!promptShown);
        QVERIFY(!QFile::exists(config.path() + QStringLiteral("/KestromMAC.dat")) ||
                QFile(config.path() + QStringLiteral("/KestromMAC.dat")).size() == 0);
    }

  private:
    QTemporaryDir runtimeDir_;
};

QTEST_MAIN(OptionsPromptEndToEndTests)
#include "options_prompt_e2e_test.moc"
