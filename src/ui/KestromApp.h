#pragma once
// The desktop program's start-up and run: instance guard, command line, config folder,
// access list, then the main window until it closes.
#include <QApplication>
#include <functional>
#include <string>
#include <vector>

namespace kestrom {

class CKestromDlg;

class CKestromApp {
  public:
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
