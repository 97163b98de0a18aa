#include "ui/KestromApp.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "app/CommandLine.h"
#include "app/InstanceChecker.h"
#include "base/TextConvert.h"
#include "console/ConsoleServer.h"
#include "security/AccessListStorage.h"
#include "server/Server.h"
#include "server/ServerHost.h"
#include "ui/KestromDlg.h"
#include "ui/QtBridge.h"
#include "window/WindowTexts.h"

namespace kestrom {
namespace {

// SIGTERM and SIGINT close the window the ordinary way, so settings are saved.
class CSignalCloser {
  public:
    explicit CSignalCloser(QWidget& window) {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_) != 0) return;
        writeFd_ = fds_[0];
        notifier_ = new QSocketNotifier(fds_[1], QSocketNotifier::Read, &window);
        QObject::connect(notifier_, &QSocketNotifier::activated, &window, [this, &window] {
            char c;
            if (::read(fds_[1], &c, 1) > 0) window.close();
        });
        struct sigaction action {};
        action.sa_handler = &CSignalCloser::OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }
    ~CSignalCloser() {
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
        writeFd_ = -1;
        if (fds_[0] >= 0) ::close(fds_[0]);
        if (fds_[1] >= 0) ::close(fds_[1]);
    }
    CSignalCloser(const CSignalCloser&) = delete;
    CSignalCloser& operator=(const CSignalCloser&) = delete;

  private:
    static void OnSignal(int) {
        const char c = 1;
        if (writeFd_ >= 0) [[maybe_unused]]
            auto n = ::write(writeFd_, &c, 1);
    }
    // The one value a signal handler may reach.
    static inline volatile sig_atomic_t writeFd_ = -1;
    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

void ShowStartupBox(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, Qs(texts::kMessageBoxTitle), text, QMessageBox::Ok);
    box.exec();
}

}  // namespace

CKestromApp::CKestromApp(QApplication& app, std::vector<std::string> args)
    : app_(app), args_(std::move(args)) {}

std::optional<int> CKestromApp::AnswerCommandLine(const std::vector<std::string>& args) {
    const CKestromCommandLineInfo commandLine = ParseCommandLine(args);
    if (!commandLine.error.empty()) {
        std::cerr << "kestrom: " << commandLine.error << "\n" << UsageText("kestrom");
        return 2;
    }
    if (commandLine.help) {
        std::cout << UsageText("kestrom");
        return 0;
    }
    if (commandLine.version) {
        std::cout << VersionText("kestrom");
        return 0;
    }
    return std::nullopt;
}

int CKestromApp::Run(const std::function<void(CKestromDlg&)>& onWindowShown) {
    // The command line is read first, so --help and a malformed option answer at once.
    if (const std::optional<int> answered = AnswerCommandLine(args_)) return *answered;
    const CKestromCommandLineInfo commandLine = ParseCommandLine(args_);

    CKestromDlg window;
    CServerHost host(window.Server(), commandLine);
    // The window asks its own prompts; the console shows and edits everything else.
    CConsoleServer console(window.Server());
    host.AddService(console);
    if (host.PreviousInstanceRunning()) {
        const std::string text(kPreviousInstanceMessage);
        std::cerr << text << "\n";
        ShowStartupBox(QMessageBox::Information, QString::fromStdString(text));
        host.ActivatePreviousInstance();
        return 1;
    }

    const CHostPreparation prepared = host.Prepare();
    if (prepared.configFolderUnusable)
        std::cerr << "kestrom: cannot use the config folder " << host.ConfigDir() << "\n";
    if (prepared.accessListProblem) {
        const std::u16string_view text = prepared.accessListProblem->Detail();
        ShowStartupBox(QMessageBox::Warning,
                       QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
    }
    if (prepared.settingsKeyUnavailable) QApplication::beep();

    if (!window.Initialise(host) && host.PreviousInstanceRunning()) {
        // Another start won the race between the check above and the registration.
        ShowStartupBox(
            QMessageBox::Information,
            QString::fromUtf8(kPreviousInstanceMessage.data(), kPreviousInstanceMessage.size()));
        host.ActivatePreviousInstance();
        return 1;
    }
    CSignalCloser closer(window);
    app_.setQuitOnLastWindowClosed(false);
    QObject::connect(&window, &CKestromDlg::Closed, &app_, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.ShowAtStart();
    if (onWindowShown) QTimer::singleShot(0, &window, [&] { onWindowShown(window); });
    return app_.exec();
}

}  // namespace kestrom
