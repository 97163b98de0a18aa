// The window under a flood of log lines: connection threads log as fast as they can while the
// window's thread runs its event loop. Prints the flood's wall time, the window's thread CPU
// time, the longest the event loop went without serving a 10 ms timer, and what the log
// shows. Run with QT_QPA_PLATFORM=offscreen.
//
//   kestrom-bench-window-log [THREADS] [LINES_PER_THREAD]   (default 4 x 25,000)
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/CommandLine.h"
#include "core/OperatorInterface.h"
#include "server/ServerHost.h"
#include "ui/EventLog.h"
#include "ui/KestromDlg.h"

using namespace kestrom;

namespace {

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int threads = argc > 1 ? std::atoi(argv[1]) : 4;
    const int lines = argc > 2 ? std::atoi(argv[2]) : 25000;
    QTemporaryDir dir;
    CKestromCommandLineInfo commandLine;
    commandLine.port = 0;  // the listener is not needed
    CKestromDlg window;
    window.SetMessageSink([](QMessageBox::Icon, const QString&) {});
    commandLine.configDir = dir.path().toStdString();
    // The instance lock lives in the scratch folder, beside any running Kestrom.
    CServerHost host(window.Server(), commandLine, dir.path().toStdString());
    host.Prepare();
    window.Initialise(host);
    window.EventLog()->SetLogEvents(true);
    window.show();

    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });

    const std::u16string message =
        u"Bad entry in the results-changed list from 192.168.1.23: \",,,,\" is no event key";
    const int expectedErrors = threads * lines / 2;
    std::atomic<bool> floodDone{false};
    QElapsedTimer wall;
    double floodSeconds = 0;
    const double cpuBefore = ThreadCpuSeconds();
    std::vector<std::thread> writers;
    QTimer::singleShot(0, [&] {
        sinceTick.start();
        ticker.start();
        wall.start();
        for (int t = 0; t < threads; ++t) {
            writers.emplace_back([&] {
                for (int i = 0; i < lines; ++i)
                    window.AddLogLine(message, i % 2 ? LogLevel::kInfo : LogLevel::kError);
            });
        }
        std::thread([&] {
            for (auto& w : writers) w.join();
            floodSeconds = static_cast<double>(wall.elapsed()) / 1000.0;
            floodDone = true;
        }).detach();
    });
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (floodDone && window.EventLog()->ErrorCount() == expectedErrors) app.quit();
    });
    check.start();
    QTimer::singleShot(600000, &app, &QApplication::quit);  // bounded
    app.exec();
    const double cpu = ThreadCpuSeconds() - cpuBefore;
    const double allSeconds = static_cast<double>(wall.elapsed()) / 1000.0;

    std::printf("flood: %d threads x %d lines = %d lines, logged in %.2f s\n", threads, lines,
                threads * lines, floodSeconds);
    std::printf(
        "window thread: %.3f s CPU until all shown (%.2f s wall), longest event-loop gap "
        "%lld ms\n",
        cpu, allSeconds, static_cast<long long>(longestGap));
    std::printf("log: %d lines listed (bound %zu), error count %d of %d\n",
                window.EventLog()->List()->count(), window.EventLog()->List()->MaxLines(),
                window.EventLog()->ErrorCount(), expectedErrors);
    window.close();
    return window.EventLog()->ErrorCount() == expectedErrors ? 0 : 1;
}
