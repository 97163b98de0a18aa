#include "ui/HelpFile.h"

#include <QDir>
#include <QFileInfo>

#include "ui/QtBridge.h"
#include "window/WindowTexts.h"

namespace kestrom {

QStringList HelpFileCandidates(const QString& programDir) {
    const QDir dir(programDir);
    return {QDir::cleanPath(dir.filePath(QStringLiteral("manual/index.html"))),
            QDir::cleanPath(dir.filePath(QStringLiteral("../share/doc/kestrom/manual/index.html"))),
            QDir::cleanPath(QStringLiteral(KESTROM_SOURCE_DIR "/docs/manual/index.html"))};
}

QString FindHelpFile(const QStringList& candidates) {
    for (const QString& path : candidates) {
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

QUrl HelpUrl(const QString& helpFile, CHelpSection section) {
    QUrl url = QUrl::fromLocalFile(helpFile);
    url.setFragment(section == CHelpSection::Index ? QStringLiteral("index")
                                                   : QStringLiteral("contents"));
    return url;
}

QString MissingHelpFileText(const QString& expectedPath) {
    return Qs(kestrom::MissingHelpFileText(expectedPath.toStdU16String()));
}

}  // namespace kestrom
