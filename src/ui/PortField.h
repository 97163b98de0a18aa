#pragma once
// The port field's text read by the rule of window/PortField, with Qt's strings.
#include <QString>

#include "window/PortField.h"

namespace kestrom {

struct CPortReading {
    bool ok = false;
    unsigned port = 0;
    QString error;  // the validation message when !ok
};

CPortReading ReadPortText(const QString& text);

}  // namespace kestrom
