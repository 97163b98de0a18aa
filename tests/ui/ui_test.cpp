// The window's rules, driven without a display: event log, product grid, connection locking,
// port validation on close, menus of both modes, help file lookup, calls from other threads.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "app/SettingsStore.h"
#include "server/Server.h"
#include "server/ServerHost.h"
#include "ui/ClientsDlg.h"
#include "ui/EventLog.h"
#include "ui/KestromDlg.h"
#include "ui/PortField.h"
#include "ui/ProductGrid.h"
#include "ui/SystemTray.h"
#include "ui/ui_test_support.h"

using namespace kestrom;

namespace {

struct Message {
    QMessageBox::Icon icon;
    QString text;
};

QStringList MenuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return texts;
}

QStringList ListTexts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

// Runs `call` on a thread of its own, as a connection thread would, while this (the
// window's) thread keeps serving the calls it carries over.
void FromConnectionThread(const std::function<void()>& call) {
    std::atomic<bool> done{false};
    std::thread thread([&] {
        call();
        done = true;
    });
    const bool finished = QTest::qWaitFor([&] { return done.load(); }, 5000);
    thread.join();
    QVERIFY(finished);
}

// A window initialised from a fresh config folder with the given port and folders.
class WindowFixture {
  public:
    explicit WindowFixture(bool hyWire = false) {
        commandLine.port = testing::FreeLoopbackPort();
        commandLine.eventDir = u"/meet/events";
        commandLine.resultsDir = u"/meet/results";
        commandLine.useHyWire = hyWire;
        window.SetMessageSink([this](QMessageBox::Icon icon, const QString& text) {
            messages.push_back({icon, text});
        });
        window.SetUnlockDelay(300);
        commandLine.configDir = ConfigDir();
        // The instance lock lives in the test's own folder, so suites run side by side.
        host = std::make_unique<CServerHost>(window.Server(), commandLine, ConfigDir());
        host->Prepare();
        window.Initialise(*host);
    }
    std::string ConfigDir() const { return dir.path().toStdString(); }
    CKestromSettings Stored() const {
        CKestromSettings s;
        CSettingsStore(ConfigDir() + "/settings.reg").Load(s, std::nullopt, std::nullopt);
        return s;
    }
    template <typename T>
    T* Find(const char* name) {
        return window.findChild<T*>(QString::fromLatin1(name));
    }

    QTemporaryDir dir;
    CKestromCommandLineInfo commandLine;
    CKestromDlg window;
    std::unique_ptr<CServerHost> host;
    std::vector<Message> messages;
};

}  // namespace

class UiTests : public QObject {
    Q_OBJECT

  private slots:
    void logLinesAreStampedAndCut() {
        CEventLog log;
        log.SetLogEvents(true);
        const LocalDateTime when{2024, 7, 4, 9, 5, 3};
        log.AddLine(std::u16string(300, u'x'), LogLevel::kInfo, when);
        const QString line = log.List()->item(0)->text();
        QVERIFY(line.startsWith(QStringLiteral("07/04/2024 09:05:03   x")));
        QCOMPARE(line.size(), 22 + 128);
    }

    void eventLogRules() {
        CEventLog log;
        log.SetLogEvents(true);
        const LocalDateTime when{2024, 1, 2, 3, 4, 5};
        log.AddLine(u"first", LogLevel::kInfo, when);
        log.AddLine(u"second", LogLevel::kError, when);
        log.AddLine(u"hidden", LogLevel::kNever, when);
        QCOMPARE(ListTexts(log.List()),
                 (QStringList{QStringLiteral("01/02/2024 03:04:05   second"),
                              QStringLiteral("01/02/2024 03:04:05   first")}));
        QCOMPARE(log.ErrorCount(), 1);

        // Logging off: errors still count, nothing is listed.
        log.SetLogEvents(false);
        log.AddLine(u"quiet error", LogLevel::kError, when);
        log.AddLine(u"quiet info", LogLevel::kPlain, when);
        QCOMPARE(log.List()->count(), 2);
        QCOMPARE(log.ErrorCount(), 2);
        auto* count = log.findChild<QLineEdit*>(QStringLiteral("errorCountEdit"));
        QCOMPARE(count->text(), QStringLiteral("2"));

        // Clear Log leaves the count, Clear Errors leaves the list.
        log.findChild<QPushButton*>(QStringLiteral("clearLogButton"))->click();
        QCOMPARE(log.List()->count(), 0);
        QCOMPARE(log.ErrorCount(), 2);
        log.SetLogEvents(true);
        log.AddLine(u"after clear", LogLevel::kPlain, when);
        log.findChild<QPushButton*>(QStringLiteral("clearErrorsButton"))->click();
        QCOMPARE(log.ErrorCount(), 0);
        QCOMPARE(count->text(), QStringLiteral("0"));
        QCOMPARE(log.List()->count(), 1);
    }

    void logExtentOnlyGrows() {
        CEventLog log;
        log.resize(300, 200);
        log.show();
        log.SetLogEvents(true);
        log.AddLine(std::u16string(120, u'W'), LogLevel::kInfo);
        const int wide = log.List()->Extent();
        QVERIFY(wide > 300);
        log.findChild<QPushButton*>(QStringLiteral("clearLogButton"))->click();
        log.AddLine(u"x", LogLevel::kInfo);
        QCOMPARE(log.List()->Extent(), wide);
        QVERIFY(log.List()->horizontalScrollBar()->maximum() > 0);
    }

    void portTextValidation() {
        QCOMPARE(ReadPortText(QStringLiteral("1950")).port, 1950u);
        QVERIFY(ReadPortText(QStringLiteral("32767")).ok);
        QVERIFY(ReadPortText(QStringLiteral("1")).ok);
        for (const char* bad : {"", "abc", "12x", "-5"}) {
            const CPortReading r = ReadPortText(QString::fromLatin1(bad));
            QVERIFY(!r.ok);
            QCOMPARE(r.error, QStringLiteral("Enter a positive integer."));
        }
        for (const char* out : {"0", "32768", "99999999999999999999999"}) {
            const CPortReading r = ReadPortText(QString::fromLatin1(out));
            QVERIFY(!r.ok);
            QCOMPARE(r.error, QStringLiteral("Enter an integer between 1 and 32767."));
        }
    }

    void gridShowsTitlesAndCounts() {
        WindowFixture f;
        CProductGrid* grid = f.window.Grid();
        QCOMPARE(grid->rowCount(), 5);
        QCOMPARE(grid->columnCount(), 4);
        QCOMPARE(grid->CellText(0, 3), QStringLiteral("# Connected"));
        QCOMPARE(grid->CellText(4, 0), QStringLiteral("Hy-Tek's HY-WIRE"));
        QCOMPARE(grid->item(1, 0)->background().color(), QColor(0x90, 0xFF, 0x90));

        CClientAddressLists& clients = f.window.Server().ClientAddresses();
        clients.Record(CProduct::FieldOrvo, u"10.0.0.5");
        clients.Record(CProduct::Wenlow, u"10.0.0.6");
        clients.Record(CProduct::Wenlow, u"10.0.0.7");
        FromConnectionThread([&] { f.window.RefreshProductGrid(); });
        QCOMPARE(grid->CellText(1, 3), QStringLiteral("1"));  // FieldOrvo
        QCOMPARE(grid->CellText(2, 3), QStringLiteral("0"));  // ClerkOrvo
        QCOMPARE(grid->CellText(3, 3), QStringLiteral("2"));  // Wenlow
        QCOMPARE(grid->CellText(4, 3), QString());
        for (int r = 1; r < 5; ++r) {
            QCOMPARE(grid->CellText(r, 1), QStringLiteral("Y"));
            QCOMPARE(grid->CellText(r, 2), QStringLiteral("Unlimited"));
        }

        CClientsDlg dialog(CProduct::Wenlow, clients.Addresses(CProduct::Wenlow));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Wenlow Clients (2)"));
    }

    void fieldsLockWhileClientsAreConnected() {
        WindowFixture f;
        f.window.show();
        auto* port = f.Find<QLineEdit>("portEdit");
        auto* eventFolder = f.Find<QLineEdit>("eventFolderEdit");
        auto* browse = f.Find<QPushButton>("resultsBrowseButton");
        auto* count = f.Find<QLineEdit>("connectionsEdit");
        // An edit not yet taken is kept when the fields lock.
        eventFolder->setText(QStringLiteral("/typed/before/connect"));

        std::thread([&] {
            f.window.ConnectionOpened();
            f.window.ConnectionOpened();
        }).join();
        QTRY_COMPARE(count->text(), QStringLiteral("2"));
        QVERIFY(!port->isEnabled() && !eventFolder->isEnabled() && !browse->isEnabled());
        QCOMPARE(f.window.EventFolder(), QStringLiteral("/typed/before/connect"));

        std::thread([&] { f.window.ConnectionClosed(); }).join();
        QTRY_COMPARE(count->text(), QStringLiteral("1"));
        QTest::qWait(500);
        QVERIFY(!port->isEnabled());

        std::thread([&] { f.window.ConnectionClosed(); }).join();
        QTRY_COMPARE(count->text(), QStringLiteral("0"));
        QVERIFY(!port->isEnabled());  // not before the delay
        QTRY_VERIFY_WITH_TIMEOUT(
            port->isEnabled() && eventFolder->isEnabled() && browse->isEnabled(), 3000);

        // A client arriving within the delay keeps the fields locked.
        f.window.ConnectionOpened();
        f.window.ConnectionClosed();
        QTRY_COMPARE(count->text(), QStringLiteral("0"));
        QTRY_VERIFY(!port->isEnabled());
        f.window.ConnectionOpened();
        QTRY_COMPARE(count->text(), QStringLiteral("1"));
        QTest::qWait(500);
        QVERIFY(!port->isEnabled());
        f.window.close();
    }

    void closeWithBadPortKeepsPreviousValues() {
        WindowFixture f;
        const int port = *f.commandLine.port;
        f.window.show();
        f.Find<QLineEdit>("portEdit")->setText(QStringLiteral("0"));
        f.Find<QLineEdit>("eventFolderEdit")->setText(QStringLiteral("/not/saved"));
        f.window.close();
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(f.messages[0].text, QStringLiteral("Enter an integer between 1 and 32767."));
        const CKestromSettings stored = f.Stored();
        QCOMPARE(stored.PortNumber, port);
        QVERIFY(stored.EventDirectory == u"/meet/events");
        QVERIFY(stored.ResultsDirectory == u"/meet/results");
    }

    void closeSavesEditedValues() {
        WindowFixture f;
        f.window.show();
        f.Find<QLineEdit>("portEdit")->setText(QStringLiteral("2100"));
        f.Find<QLineEdit>("resultsFolderEdit")->setText(QStringLiteral("/new/results"));
        f.window.EventLog()->SetLogEvents(false);
        f.window.close();
        QVERIFY(f.messages.empty());
        const CKestromSettings stored = f.Stored();
        QCOMPARE(stored.PortNumber, 2100);
        QVERIFY(stored.ResultsDirectory == u"/new/results");
        QVERIFY(!stored.LogEvents);
    }

    void enterAndEscapeDoNotCloseTheWindow() {
        WindowFixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QTest::keyClick(f.Find<QLineEdit>("portEdit"), Qt::Key_Return);
        QTest::keyClick(f.Find<QLineEdit>("portEdit"), Qt::Key_Escape);
        QTest::keyClick(&f.window, Qt::Key_Escape);
        QVERIFY(f.window.isVisible());
    }

    void menusOfBothModes() {
        WindowFixture full;
        QCOMPARE(full.window.windowTitle(), QStringLiteral("Kestrom v3.23"));
        QList<QAction*> menus = full.window.menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(MenuTexts(menus[0]->menu()), (QStringList{"&Options...", "-", "E&xit"}));
        QCOMPARE(MenuTexts(menus[1]->menu()),
                 (QStringList{"&Wenlow...", "&FieldOrvo...", "C&lerkOrvo..."}));
        QCOMPARE(MenuTexts(menus[2]->menu()),
                 (QStringList{"&Index...", "&Contents...", "Operator C&onsole...", "-",
                              "&About Kestrom..."}));
        auto* tray = full.Find<QMenu>("trayMenu");
        QCOMPARE(MenuTexts(tray),
                 (QStringList{"&Open", "-", "O&ptions...", "&About...", "-", "E&xit"}));
        QCOMPARE(tray->defaultAction()->text(), QStringLiteral("&Open"));
        QVERIFY(tray->defaultAction()->font().bold());

        WindowFixture reduced(true);
        menus = reduced.window.menuBar()->actions();
        QCOMPARE(menus.size(), 2);
        QCOMPARE(MenuTexts(menus[0]->menu()), (QStringList{"E&xit"}));
        QCOMPARE(MenuTexts(menus[1]->menu()),
                 (QStringList{"&Index...", "&Contents...", "Operator C&onsole...", "-",
                              "&About Kestrom..."}));
        QCOMPARE(MenuTexts(reduced.Find<QMenu>("trayMenu")),
                 (QStringList{"&Open", "-", "&About...", "-", "E&xit"}));
    }

    void helpFileLookup() {
        WindowFixture f;
        f.window.SetHelpCandidates({QStringLiteral("/nowhere/manual/index.html")});
        std::vector<QUrl> opened;
        f.window.SetUrlOpener([&](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
        f.window.OnHelpContents();
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(f.messages[0].text,
                 QStringLiteral("Cannot locate help file: /nowhere/manual/index.html"));
        QVERIFY(opened.empty());

        const QString manual = QStringLiteral(KESTROM_SOURCE_DIR "/docs/manual/index.html");
        f.window.SetHelpCandidates({QStringLiteral("/nowhere/manual/index.html"), manual});
        f.window.OnHelpIndex();
        f.window.OnHelpContents();
        QCOMPARE(opened.size(), size_t{2});
        QCOMPARE(opened[0].toLocalFile(), manual);
        QCOMPARE(opened[0].fragment(), QStringLiteral("index"));
        QCOMPARE(opened[1].fragment(), QStringLiteral("contents"));
        QCOMPARE(f.messages.size(), size_t{1});
    }

    void browseTakesTheChosenFolder() {
        WindowFixture f;
        QString askedTitle, askedStart;
        f.window.SetFolderPicker([&](const QString& title, const QString& current) {
            askedTitle = title;
            askedStart = current;
            return QStringLiteral("/picked/results");
        });
        f.Find<QPushButton>("resultsBrowseButton")->click();
        QCOMPARE(askedTitle, QStringLiteral("Select the Results Files Folder:"));
        QCOMPARE(askedStart, QStringLiteral("/meet/results"));
        QCOMPARE(f.Find<QLineEdit>("resultsFolderEdit")->text(), QStringLiteral("/picked/results"));

        f.window.SetFolderPicker([](const QString&, const QString&) { return QString(); });
        f.Find<QPushButton>("eventBrowseButton")->click();
        QCOMPARE(f.Find<QLineEdit>("eventFolderEdit")->text(), QStringLiteral("/meet/events"));
    }

    void linesFromManyThreadsAllArriveWhole() {
        WindowFixture f;
        f.window.EventLog()->SetLogEvents(true);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&f, t] {
                for (int i = 0; i < 50; ++i) {
                    const std::u16string text =
                        u"thread " + std::u16string(1, static_cast<char16_t>(u'0' + t)) + u" line";
                    f.window.AddLogLine(text, i % 5 == 0 ? LogLevel::kError : LogLevel::kInfo);
                }
            });
        }
        // The calling threads wait for the window's thread, which is this one.
        QTRY_COMPARE(f.window.EventLog()->List()->count(), 200);
        for (auto& t : threads) t.join();
        QCOMPARE(f.window.EventLog()->ErrorCount(), 40);
    }

    void closingReleasesThreadsStillCallingIn() {
        auto f = std::make_unique<WindowFixture>();
        std::atomic<bool> stop{false};
        std::atomic<int> calls{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([&] {
                while (!stop) {
                    f->window.AddLogLine(u"busy", LogLevel::kInfo);
                    ++calls;
                }
            });
        }
        QTRY_VERIFY(calls > 20);
        f->window.close();  // no events are processed for the waiting threads from here on
        stop = true;
        for (auto& t : threads) t.join();  // would hang if a caller still waited
        const int after = calls;
        std::thread([&] { f->window.AddLogLine(u"late", LogLevel::kError); }).join();
        QCOMPARE(f->window.EventLog()->ErrorCount(), 0);
        QCOMPARE(calls.load(), after);
    }

    void balloonsShowInsideTheWindowWithoutTray() {
        WindowFixture f;
        f.window.show();
        FromConnectionThread(
            [&] { f.window.ShowBalloon(u"Results received", u"Kestrom", BalloonIcon::kInfo, 10); });
        auto* bar = f.Find<CBalloonBar>("balloonBar");
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->Text(), QStringLiteral("Results received"));
    }
};

QTEST_MAIN(UiTests)
#include "ui_test.moc"
