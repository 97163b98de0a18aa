// The whole desktop program serving the sample meet: started in this process through the
// same start-up as main(), and as the built program under the offscreen platform.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

#include "app/SettingsStore.h"
#include "ui/EventLog.h"
#include "ui/KestromApp.h"
#include "ui/KestromDlg.h"
#include "ui/UiTestSupport.h"

using namespace kestrom;

namespace {

// A client connection to the program on loopback.
class TestClient {
  public:
    explicit TestClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval timeout{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~TestClient() { Close(); }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool Connected() const { return connected_; }
    // Sends a request and reads the reply up to its EOT (single-byte mode).
    std::string Request(const std::string& message) {
        if (::send(fd_, message.data(), message.size(), 0) != static_cast<ssize_t>(message.size()))
            return {};
        std::string reply;
        char c;
        while (::recv(fd_, &c, 1, 0) == 1) {
            reply.push_back(c);
            if (c == '\x04') break;
        }
        return reply;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

const std::string kWenlowPing = "\x01HAL\x02\x03\x04";
const std::string kVersionReply = "\x01HMM,PSZ=3\x02\x03\x04";
const QString kMeet = QStringLiteral(KESTROM_SOURCE_DIR "/examples/meet");

bool LogContains(const QListWidget* list, const QString& text) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().endsWith(QStringLiteral("   ") + text)) return true;
    }
    return false;
}

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
        const int port = testing::FreePortInWindowRange();
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
            auto client = std::make_unique<TestClient>(port);
            // The reply needs the window's thread for its log line, so it is awaited there.
            std::thread asker([&] {
                if (client->Connected()) reply = client->Request(kWenlowPing);
            });
            sawLine = QTest::qWaitFor(
                [&] {
                    return LogContains(window.EventLog()->List(), QStringLiteral("Wenlow Ping"));
                },
                5000);
            sawOneConnection =
                QTest::qWaitFor([&] { return connections->text() == QStringLiteral("1"); }, 5000);
            asker.join();
            client->Close();
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
        const int port = testing::FreePortInWindowRange();
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
            TestClient client(port);
            if (client.Connected()) {
                reply = client.Request(kWenlowPing);
            } else {
                QTest::qWait(100);
            }
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
#include "UiEndToEndTests.moc"
