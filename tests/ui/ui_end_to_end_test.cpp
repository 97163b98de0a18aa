// The whole desktop program serving the sample meet: started in this process through the
// same start-up as main(), and as the built program under the offscreen platform.
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

#include "app/SettingsStore.h"
#include "tools/ClientConnection.h"
#include "ui/EventLog.h"
#include "ui/KestromApp.h"
#include "ui/KestromDlg.h"
#include "ui/ui_test_support.h"

using namespace kestrom;
using namespace kestrom::client;
using namespace std::chrono_literals;

namespace {

// A Wenlow ping's reply as it came over the wire; empty when there is none.
std::string PingReply(CClientConnection* client) {
    if (!client || !client->SendText(BuildRequest(u"HAL"))) return {};
    const auto reply = client->ReceiveReply();
    return reply ? reply->bytes : std::string();
}

const std::string kVersionReply = "\x01HMM,PSZ=3\x02\x03\x04";
const QString kMeet = QStringLiteral(KESTROM_SOURCE_DIR "/examples/meet");

}  // namespace

class UiEndToEndTests : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        runtimeDir_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_RUNTIME_DIR", runtimeDir_->path().toUtf8());
    }

    void servesAPingAndShowsItInTheWindow() {
        QTemporaryDir config;
        const int port = testing::FreeLoopbackPort();
        QVERIFY(port > 0);
        CKestromApp program(*qApp, {"--config-dir", config.path().toStdString(), "--port",
                                    std::to_string(port), "--event-dir", kMeet.toStdString(),
                                    "--results-dir", (kMeet + "/results").toStdString()});
        std::string reply;
        bool sawLine = false, sawOneConnection = false, sawZeroConnections = false;
        QString title;
        const int rc = program.Run([&](CKestromDlg& window) {
            window.SetMessageSink([](QMessageBox::Icon, const QString& text) {
                qWarning() << "unexpected message:" << text;
            });
            window.EventLog()->SetLogEvents(true);
            title = window.windowTitle();
            auto* connections = window.findChild<QLineEdit*>(QStringLiteral("connectionsEdit"));
            auto client = CClientConnection::Connect("127.0.0.1", port, WireMode::kSingleByte);
            // The reply needs the window's thread for its log line, so it is awaited there.
            std::thread asker([&] { reply = PingReply(client.get()); });
            sawLine = QTest::qWaitFor(
                [&] {
                    return testing::LogHasLine(window.EventLog()->List(),
                                               QStringLiteral("Wenlow Ping"));
                },
                5000);
            sawOneConnection =
                QTest::qWaitFor([&] { return connections->text() == QStringLiteral("1"); }, 5000);
            asker.join();
            client.reset();
            sawZeroConnections =
                QTest::qWaitFor([&] { return connections->text() == QStringLiteral("0"); }, 5000);
            window.close();
        });
        QCOMPARE(rc, 0);
        QCOMPARE(title, QStringLiteral("Kestrom v3.23"));
        QVERIFY(reply == kVersionReply);
        QVERIFY(sawLine);
        QVERIFY(sawOneConnection);
        QVERIFY(sawZeroConnections);

        CKestromSettings stored;
        CSettingsStore(config.path().toStdString() + "/settings.reg").Load(stored, {}, {});
        QCOMPARE(stored.PortNumber, port);
        QVERIFY(stored.EventDirectory == kMeet.toStdU16String());
    }

    void builtProgramServesAndSavesOnTerminate() {
        QTemporaryDir config;
        const int port = testing::FreeLoopbackPort();
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir_->path());
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(KESTROM_PATH),
                      {QStringLiteral("--config-dir"), config.path(), QStringLiteral("--port"),
                       QString::number(port), QStringLiteral("--event-dir"), kMeet,
                       QStringLiteral("--results-dir"), kMeet + QStringLiteral("/results")});
        QVERIFY(program.waitForStarted());
        std::string reply;
        for (int attempt = 0; attempt < 50 && reply.empty(); ++attempt) {
            const auto client =
                CClientConnection::Connect("127.0.0.1", port, WireMode::kSingleByte, 1s);
            reply = PingReply(client.get());
            if (reply.empty()) QTest::qWait(100);
        }
        QVERIFY(reply == kVersionReply);

        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        CKestromSettings stored;
        CSettingsStore(config.path().toStdString() + "/settings.reg").Load(stored, {}, {});
        QCOMPARE(stored.PortNumber, port);
    }

  private:
    std::unique_ptr<QTemporaryDir> runtimeDir_;
};

QTEST_MAIN(UiEndToEndTests)
#include "ui_end_to_end_test.moc"
