#pragma once
// What the Qt window hands to window/ and takes from it: texts, colours, and the way work is
// queued onto the window's thread.
#include <QColor>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThread>
#include <string_view>

#include "window/Colour.h"
#include "window/WindowThreadCaller.h"

namespace kestrom {

inline QString Qs(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline QColor Qc(CRgb colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

// `context` lives on the window's thread and outlives every call (the caller closes first).
inline CWindowThreadCaller::Poster QueuedCallsOn(QObject* context) {
    return [context](std::function<void()> work) {
        QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
    };
}

inline CWindowThreadCaller::ThreadCheck ThreadOf(QObject* context) {
    return [context] { return QThread::currentThread() == context->thread(); };
}

}  // namespace kestrom
