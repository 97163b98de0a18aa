#pragma once
// The desktop program's start-up and run: instance guard, command line, config folder,
// access list, then the main window until it closes.
#include <QApplication>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrom {

class CKestromDlg;

class CKestromApp {
  public:
    // --help, --version and a malformed command line are answered without a display, before
    // the QApplication exists; returns the exit code then, nothing when the program should run.
    static std::optional<int> AnswerCommandLine(const std::vector<std::string>& args);

    // `args` are argv[1..].
    CKestromApp(QApplication& app, std::vector<std::string> args);

    // Runs the whole program; returns its exit code. `onWindowShown` (tests) runs once the
    // main window is up, on the window's thread.
    int Run(const std::function<void(CKestromDlg&)>& onWindowShown = {});

  private:
    QApplication& app_;
    std::vector<std::string> args_;
};

}  // namespace kestrom
