#pragma once
// Shared pieces of the window tests: a look into the event log (free ports come from
// support/free_port.h).
#include <QListWidget>

#include "support/free_port.h"

namespace kestrom::testing {

// Whether the event log holds a line whose message (after the time stamp) is `text`.
inline bool LogHasLine(const QListWidget* list, const QString& text) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().endsWith(QStringLiteral("   ") + text)) return true;
    }
    return false;
}

}  // namespace kestrom::testing
