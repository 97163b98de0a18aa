// The event log under load and the window's questions: every line readable by scrolling, the
// list bounded, lines handed over without waiting, lost lines and errors accounted for, the
// prompts for unknown clients answered in the order they came, the notification icon.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "base/TextConvert.h"
#include "core/LogLine.h"
#include "core/OperatorInterface.h"
#include "server/ServerHost.h"
#include "ui/AddUpdateSecurityItemDlg.h"
#include "ui/ClientPrompts.h"
#include "ui/EventLog.h"
#include "ui/KestromDlg.h"
#include "ui/SystemTray.h"
#include "ui/options_test_support.h"
#include "ui/ui_test_support.h"
#include "window/LogHandOver.h"

using namespace kestrom;
using namespace std::chrono_literals;

namespace {

const LocalDateTime kWhen{2024, 7, 4, 9, 5, 3};

QString MacOf(CAddUpdateSecurityItemDlg& dialog) {
    QString mac;
    for (int i = 0; i < 6; ++i) mac += (i ? ":" : "") + dialog.MacEdit(i)->text();
    return mac;
}

struct Window {
    Window() {
        commandLine.port = testing::FreeLoopbackPort();
        commandLine.eventDir = u"/meet/events";
        commandLine.resultsDir = u"/meet/results";
        window.SetMessageSink([](QMessageBox::Icon, const QString&) {});
        commandLine.configDir = dir.path().toStdString();
        // The instance lock lives in the test's own folder, so suites run side by side.
        host = std::make_unique<CServerHost>(window.Server(), commandLine, *commandLine.configDir);
        host->Prepare();
        window.Initialise(*host);
        window.EventLog()->SetLogEvents(true);
    }
    QTemporaryDir dir;
    CKestromCommandLineInfo commandLine;
    CKestromDlg window;
    std::unique_ptr<CServerHost> host;
};

}  // namespace

class EventLogTests : public QObject {
    Q_OBJECT

  private slots:
    void everyLineIsAsWideAsTheWidestAndScrollsIntoView() {
        CEventLog log;
        log.resize(300, 200);
        log.show();
        log.SetLogEvents(true);
        // The first (oldest) row is short; rows sized from it would cut the long ones.
        log.AddLine(u"x", LogLevel::kInfo, kWhen);
        log.AddLine(std::u16string(120, u'W'), LogLevel::kInfo, kWhen);
        log.AddLine(u"short again", LogLevel::kInfo, kWhen);
        CEventLogList* list = log.List();
        QCoreApplication::processEvents();
        const QFontMetrics metrics(list->font());
        int widest = 0;
        for (int row = 0; row < list->count(); ++row) {
            const QString text = list->item(row)->text();
            const int width = metrics.horizontalAdvance(text);
            widest = std::max(widest, width);
            const QRect rect = list->visualRect(list->model()->index(row, 0));
            QVERIFY2(rect.width() >= width, qPrintable(QString::number(row)));
        }
        // Scrolled to the end, the end of the widest line is inside the viewport.
        QScrollBar* bar = list->horizontalScrollBar();
        QVERIFY(bar->maximum() + list->viewport()->width() >= widest);
    }

    void theListKeepsItsBoundAndDropsTheOldest() {
        CEventLog log;
        log.SetLogEvents(true);
        log.List()->SetMaxLines(100);
        CLogHandOver::Batch batch;
        for (int i = 0; i < 250; ++i)
            batch.lines.push_back(FormatLogLine(kWhen, U16("line " + std::to_string(i))));
        log.Add(batch);
        QCOMPARE(log.List()->count(), 100);
        QVERIFY(log.List()->item(0)->text().endsWith(QStringLiteral("   line 249")));
        QVERIFY(log.List()->item(99)->text().endsWith(QStringLiteral("   line 150")));
        for (int i = 0; i < 10; ++i)
            log.AddLine(U16("more " + std::to_string(i)), LogLevel::kInfo, kWhen);
        QCOMPARE(log.List()->count(), 100);
        QVERIFY(log.List()->item(0)->text().endsWith(QStringLiteral("   more 9")));
        QVERIFY(log.List()->item(99)->text().endsWith(QStringLiteral("   line 160")));
        // A lower bound takes effect at once.
        log.List()->SetMaxLines(5);
        QCOMPARE(log.List()->count(), 5);
    }

    void theHandOverDropsBeyondItsBoundAndCountsEveryError() {
        CLogHandOver handOver(50);
        int asks = 0;
        for (int i = 0; i < 200; ++i) {
            if (handOver.Add(kWhen, u"entry", i % 4 == 0 ? LogLevel::kError : LogLevel::kInfo,
                             true))
                ++asks;
        }
        // Hidden errors count, hidden plain lines and level 4 leave no trace.
        handOver.Add(kWhen, u"hidden error", LogLevel::kError, false);
        handOver.Add(kWhen, u"hidden", LogLevel::kInfo, false);
        handOver.Add(kWhen, u"never", LogLevel::kNever, true);
        QCOMPARE(asks, 1);  // one take asked for all of them
        CLogHandOver::Batch batch = handOver.Take();
        QCOMPARE(batch.lines.size(), size_t(50));
        QCOMPARE(batch.dropped, std::uint64_t(150));
        QCOMPARE(batch.errors, std::uint64_t(51));
        QVERIFY(handOver.Add(kWhen, u"next", LogLevel::kInfo, true));  // a new take after the last

        CEventLog log;
        log.SetLogEvents(true);
        log.Add(batch);
        QCOMPARE(log.List()->count(), 51);
        QVERIFY(
            testing::LogHasLine(log.List(), QString::fromStdU16String(LostLogLinesMessage(150))));
        // The report stands above the lines that came before the loss.
        QVERIFY(log.List()->item(0)->text().endsWith(
            QString::fromStdU16String(LostLogLinesMessage(150))));
        QCOMPARE(log.ErrorCount(), 51);
    }

    void takesInPiecesKeepTheOrderAndTheLossInItsPlace() {
        CLogHandOver handOver(10);
        for (int i = 0; i < 15; ++i)
            handOver.Add(kWhen, U16("line " + std::to_string(i)), LogLevel::kError, true);
        CLogHandOver::Batch first = handOver.Take(4);
        QCOMPARE(first.lines.size(), size_t(4));
        QVERIFY(first.more);
        QCOMPARE(first.dropped, std::uint64_t(0));  // lines before the loss are still to come
        QCOMPARE(first.errors, std::uint64_t(0));   // counted with the last piece
        QVERIFY(!handOver.Add(kWhen, u"late", LogLevel::kInfo, true));  // a take is still due
        CLogHandOver::Batch rest = handOver.Take(100);
        QVERIFY(!rest.more);
        QCOMPARE(rest.lines.size(), size_t(6));
        QCOMPARE(rest.dropped, std::uint64_t(6));  // five lines and "late"
        QCOMPARE(rest.errors, std::uint64_t(15));
        QVERIFY(QByteArray::fromStdString(first.lines[0]).endsWith("   line 0"));
        QVERIFY(QByteArray::fromStdString(rest.lines[0]).endsWith("   line 4"));
        QVERIFY(QByteArray::fromStdString(rest.lines[5]).endsWith("   line 9"));
    }

    void aFloodNeverWaitsForTheWindowAndEveryErrorCounts() {
        Window w;
        constexpr int kThreads = 4;
        constexpr int kLines = 20000;
        // The window's thread serves no events while the lines are logged: a caller that
        // waited for it would never finish.
        auto flood = std::async(std::launch::async, [&w] {
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&w] {
                    for (int i = 0; i < kLines; ++i)
                        w.window.AddLogLine(u"a bad entry",
                                            i % 2 ? LogLevel::kInfo : LogLevel::kError);
                });
            }
            for (auto& t : threads) t.join();
        });
        QVERIFY(flood.wait_for(60s) == std::future_status::ready);
        QTRY_COMPARE_WITH_TIMEOUT(w.window.EventLog()->ErrorCount(), kThreads * kLines / 2, 20000);
        const QListWidget* list = w.window.EventLog()->List();
        QCOMPARE(static_cast<std::size_t>(list->count()), w.window.EventLog()->List()->MaxLines());
        // More lines came than the hand-over holds: the loss is said in the log.
        bool reported = false;
        for (int i = 0; i < list->count() && !reported; ++i)
            reported =
                list->item(i)->text().endsWith(QStringLiteral(" log lines were dropped "
                                                              "because the event log fell "
                                                              "behind"));
        QVERIFY(reported);
    }

    void promptsAreAnsweredInTheOrderTheyCame() {
        Window w;
        w.window.show();
        std::optional<bool> firstAnswer, secondAnswer;
        CAccessControlItem first = testing::Entry(u"00:00:00:00:00:01");
        CAccessControlItem second = testing::Entry(u"00:00:00:00:00:02");
        std::thread a([&] { firstAnswer = w.window.PromptAddClient(first); });
        QTRY_VERIFY(w.window.Prompts()->Current() != nullptr);
        std::thread b([&] { secondAnswer = w.window.PromptAddClient(second); });
        QTRY_COMPARE(w.window.Prompts()->Waiting(), size_t(1));
        // The first question stays in front, and the window keeps taking lines meanwhile.
        auto* shown = qobject_cast<CAddUpdateSecurityItemDlg*>(QApplication::activeModalWidget());
        QVERIFY(shown);
        QCOMPARE(MacOf(*shown), QStringLiteral("00:00:00:00:00:01"));
        std::thread([&] { w.window.AddLogLine(u"while asking", LogLevel::kInfo); }).join();
        QTRY_VERIFY(
            testing::LogHasLine(w.window.EventLog()->List(), QStringLiteral("while asking")));

        QTest::keyClicks(shown->NameEdit(), QStringLiteral("Lane 1"));
        shown->OkButton()->click();
        a.join();
        QCOMPARE(firstAnswer, std::optional<bool>(true));
        QVERIFY(first.name == u"Lane 1");
        QTRY_VERIFY(w.window.Prompts()->Current() != nullptr);
        auto* next = w.window.Prompts()->Current();
        QCOMPARE(MacOf(*next), QStringLiteral("00:00:00:00:00:02"));
        next->reject();
        b.join();
        QCOMPARE(secondAnswer, std::optional<bool>(false));
    }

    void closingReleasesConnectionsWaitingForAnAnswer() {
        auto w = std::make_unique<Window>();
        std::atomic<int> answered{0};
        std::vector<std::thread> threads;
        for (char16_t last : std::u16string(u"123")) {
            threads.emplace_back([&w, &answered, last] {
                CAccessControlItem entry =
                    testing::Entry(std::u16string(u"00:00:00:00:00:0") + last);
                if (!w->window.PromptAddClient(entry)) ++answered;
            });
        }
        QTRY_COMPARE(w->window.Prompts()->Waiting(), size_t(2));
        w->window.close();
        for (auto& t : threads) t.join();  // would hang if a question kept its caller
        QCOMPARE(answered.load(), 3);
    }

    void aClickOnTheIconRestoresWhereClicksComeAsTrigger() {
        QVERIFY(ActivationRestoresWindow(QSystemTrayIcon::DoubleClick));
        QVERIFY(ActivationRestoresWindow(QSystemTrayIcon::Trigger));
        QVERIFY(!ActivationRestoresWindow(QSystemTrayIcon::Context));
        QVERIFY(!ActivationRestoresWindow(QSystemTrayIcon::MiddleClick));
    }
};

QTEST_MAIN(EventLogTests)
#include "event_log_test.moc"
