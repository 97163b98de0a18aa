// kestrom: the desktop program.
#include <QApplication>

#include "ui/KestromApp.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Answered before Qt needs a display, so `kestrom --version` works over ssh too.
    if (const auto answered = kestrom::CKestromApp::AnswerCommandLine(args)) return *answered;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrom"));
    return kestrom::CKestromApp(app, std::move(args)).Run();
}
