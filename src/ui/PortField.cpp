#include "ui/PortField.h"

namespace kestrom {

CPortReading ReadPortText(const QString& text) {
    const QString trimmed = text.trimmed();
    bool digitsOnly = !trimmed.isEmpty();
    for (QChar c : trimmed) digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    if (!digitsOnly) return {false, 0, QStringLiteral("Enter a positive integer.")};
    bool fits = false;
    const qulonglong value = trimmed.toULongLong(&fits);
    if (!fits || value < kPortMin || value > static_cast<unsigned>(kMaxPortNumber)) {
        return {false, 0,
                QStringLiteral("Enter an integer between %1 and %2.")
                    .arg(kPortMin)
                    .arg(kMaxPortNumber)};
    }
    return {true, static_cast<unsigned>(value), {}};
}

}  // namespace kestrom
