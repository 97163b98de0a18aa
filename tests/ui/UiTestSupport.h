#pragma once
// Shared pieces of the window tests: a free loopback port the window accepts, and a look into
// the event log.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QListWidget>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace kestrom::testing {

// A port in the window's range 1..32767 that nothing listens on right now.
inline int FreePortInWindowRange() {
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int port = 20000 + QRandomGenerator::global()->bounded(12000);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (free) return port;
    }
    return 0;
}

// Whether the event log holds a line whose message (after the time stamp) is `text`.
inline bool LogHasLine(const QListWidget* list, const QString& text) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().endsWith(QStringLiteral("   ") + text)) return true;
    }
    return false;
}

}  // namespace kestrom::testing
