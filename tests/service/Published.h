// What a program asks the service under test about its lists: the list files, their version and
// the addresses a channel resolves to.
#pragma once

#include "support/ServiceFixture.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

inline const QString kTv = QStringLiteral("/windows/hmtzc4wn8ue/canalestv.exe");
inline const QString kRadio = QStringLiteral("/windows/hmtzc4wn8ue/canalesradio.exe");
inline const QString kVersion = QStringLiteral("/windows/versiones/obtener_ver_actual.php");

inline QByteArray get(const ServiceFixture& svc, const QString& path) {
    return ServiceFixture::get(svc.serviceBase() + path).body;
}

// The stream addresses of the ASX answer for a channel, in order.
inline QStringList refs(const ServiceFixture& svc, const QByteArray& nameBytes) {
    const auto r = ServiceFixture::get(svc.serviceBase() + "/windows/pqlrvbxdk27/canalasx.php?canala=" +
                                       QString::fromLatin1(nameBytes.toPercentEncoding()) +
                                       "&versionlistacanales=37&versionprograma=245");
    static const QRegularExpression ref(QStringLiteral("<ref href=\"([^\"]+)\""));
    QStringList out;
    for (auto it = ref.globalMatch(QString::fromUtf8(r.body)); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

inline QString versionOf(const ServiceFixture& svc) {
    static const QRegularExpression body(QStringLiteral("<body>(.*)</body>"));
    return body.match(QString::fromUtf8(get(svc, kVersion))).captured(1);
}
