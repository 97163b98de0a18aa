#include "ui/PortField.h"

#include "ui/QtBridge.h"

namespace kestrom {

CPortReading ReadPortText(const QString& text) {
    const CPortCheck check = CheckPortText(text.toStdU16String());
    return {check.ok, check.port, Qs(check.error)};
}

}  // namespace kestrom
