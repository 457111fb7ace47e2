// The program's version and its two renderings: display ("2.4.5", captions only) and compact
// ("245", every service query).
#pragma once

#include <QString>

namespace version {
constexpr int kMajor = 2;
constexpr int kMinor = 4;
constexpr int kRevision = 5;

inline QString display() {
    return QStringLiteral("%1.%2.%3").arg(kMajor).arg(kMinor).arg(kRevision);
}
inline QString compact() {
    return QStringLiteral("%1%2%3").arg(kMajor).arg(kMinor).arg(kRevision);
}
// "Sintonex 2.4.5"
inline QString programCaption() {
    return QStringLiteral("Sintonex ") + display();
}
} // namespace version
