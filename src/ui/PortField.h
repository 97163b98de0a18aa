#pragma once
// The port field is read like the dialog framework's unsigned-integer exchange with a range
// check, and fails with the framework's own messages.
#include <QString>

#include "app/CommandLine.h"

namespace kestrom {

inline constexpr unsigned kPortMin = 1;

struct CPortReading {
    bool ok = false;
    unsigned port = 0;
    QString error;  // the validation message when !ok
};

CPortReading ReadPortText(const QString& text);

}  // namespace kestrom
