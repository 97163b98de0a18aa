// kestrom: the desktop program.
#include <QApplication>

#include "ui/KestromApp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrom"));
    std::vector<std::string> args(argv + 1, argv + argc);
    return kestrom::CKestromApp(app, std::move(args)).Run();
}
