#include "Endpoints.h"

#include "Settings.h"
#include "Version.h"
#include "platform/Text.h"

#include <QUrl>

#ifndef SINTONEX_SERVICE_URL
#define SINTONEX_SERVICE_URL "http://127.0.0.1:47800"
#endif
#ifndef SINTONEX_WEB_URL
#define SINTONEX_WEB_URL "http://127.0.0.1:47801"
#endif
#ifndef SINTONEX_FORUM_URL
#define SINTONEX_FORUM_URL "http://127.0.0.1:47802"
#endif
#ifndef SINTONEX_SEARCH_URL
#define SINTONEX_SEARCH_URL "https://www.google.com"
#endif
#ifndef SINTONEX_SUPPORT_ADDRESS
#define SINTONEX_SUPPORT_ADDRESS ""
#endif

using text::queryValue;

namespace {
QByteArray v(const QString& s) {
    return queryValue(s);
}
QByteArray compact() {
    return version::compact().toLatin1();
}
} // namespace

Endpoints::Endpoints(const Settings& settings, const ServiceBases* bundled)
    : m_settings(settings), m_bundled(bundled) {}

bool Endpoints::sameAddress(const QUrl& a, const QUrl& b) {
    return a.isValid() && b.isValid() && a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && a.port(80) == b.port(80);
}

QString Endpoints::base(const char* key, const char* fallback, QString ServiceBases::*bundled) const {
    QString b = m_settings.read(QStringLiteral("config"), QString::fromLatin1(key)).trimmed();
    const bool unset = b == QLatin1String("error") || b.isEmpty();
    const QString own = m_bundled && bundled ? m_bundled->*bundled : QString();
    if (!own.isEmpty() && (unset || sameAddress(QUrl(b), QUrl(QString::fromLatin1(fallback)))))
        return own;
    if (unset)
        b = QString::fromLatin1(fallback);
    while (b.endsWith('/'))
        b.chop(1);
    return b;
}

QString Endpoints::serviceBase() const {
    return base("servidor", SINTONEX_SERVICE_URL, &ServiceBases::service);
}
QString Endpoints::defaultServiceBase() {
    return QStringLiteral(SINTONEX_SERVICE_URL);
}
QString Endpoints::defaultWebBase() {
    return QStringLiteral(SINTONEX_WEB_URL);
}
QString Endpoints::defaultForumBase() {
    return QStringLiteral(SINTONEX_FORUM_URL);
}
QString Endpoints::webBase() const {
    return base("web", SINTONEX_WEB_URL, &ServiceBases::web);
}
QString Endpoints::forumBase() const {
    return base("foro", SINTONEX_FORUM_URL, &ServiceBases::forum);
}
QString Endpoints::supportAddress() const {
    const QString configured = m_settings.read(QStringLiteral("config"), QStringLiteral("soporte")).trimmed();
    if (!configured.isEmpty() && configured != QLatin1String("error"))
        return configured;
    const QString compiled = QString::fromUtf8(SINTONEX_SUPPORT_ADDRESS).trimmed();
    // With no address of its own, support is reached through the web site, which does exist.
    return compiled.isEmpty() ? webHome() : compiled;
}
QString Endpoints::webHostName() const {
    const QUrl u(webBase());
    return u.host().isEmpty() ? webBase() : u.host();
}

QString Endpoints::service(const QByteArray& pathAndQuery) const {
    return serviceBase() + QString::fromLatin1(pathAndQuery);
}

QString Endpoints::counter() const {
    return service("/windows/contador/contador.html?version=" + compact());
}
QString Endpoints::programVersionCheck() const {
    return service("/windows/versiones/comprobar_ver_act.php?ver=" + compact());
}
QString Endpoints::listVersionCheck(const QString& listVersion) const {
    return service("/windows/versiones/comprobar_ver_canales.php?ver=" + v(listVersion));
}
QString Endpoints::currentListVersion() const {
    return service("/windows/versiones/obtener_ver_actual.php");
}

QString Endpoints::asxResolver(const QByteArray& name, const QString& listVersion) const {
    return service("/windows/pqlrvbxdk27/canalasx.php?canala=" + queryValue(name) +
                   "&versionlistacanales=" + v(listVersion) + "&versionprograma=" + compact());
}
QString Endpoints::htmlResolver(const QByteArray& name, const QString& listVersion) const {
    return service("/windows/pqlrvbxdk27/canalhtml.php?canalb=" + queryValue(name) +
                   "&versionlistacanales=" + v(listVersion) + "&versionprograma=" + compact());
}
QString Endpoints::guideGrid() const {
    return service("/windows/guia/parrilla.php");
}
QString Endpoints::guideNowNext(const QByteArray& name) const {
    return service("/windows/guia/ahora.php?canal=" + queryValue(name));
}
QString Endpoints::guideDays(const QByteArray& name, qint64 fromUtc, qint64 toUtc) const {
    return service("/windows/guia/dia.php?canal=" + queryValue(name) +
                   "&desde=" + QByteArray::number(fromUtc) + "&hasta=" + QByteArray::number(toUtc));
}
QString Endpoints::testStation() const {
    return service("/windows/pqlrvbxdk27/canalasx.php?canala=" + v(QStringLiteral("Antena Sur")));
}
QString Endpoints::tvListSource() const {
    return service("/windows/hmtzc4wn8ue/canalestv.exe");
}
QString Endpoints::radioListSource() const {
    return service("/windows/hmtzc4wn8ue/canalesradio.exe");
}
QString Endpoints::programSource() const {
    return service("/windows/actualizar/sintonex.exe");
}
QString Endpoints::chat() const {
    return service("/windows/chat.html");
}
QString Endpoints::teletext() const {
    return service("/windows/txt.htm");
}

QString Endpoints::support(const QString& nombre, const QString& mail, const QString& mensaje,
                           const QString& ver, const QString& sisop) const {
    return service("/windows/soporte/soportevertres.php?nombre=" + v(nombre) + "&mail=" + v(mail) +
                   "&mensaje=" + v(mensaje) + "&ver=" + v(ver) + "&sisop=" + v(sisop));
}

QString Endpoints::recommend(const QString& name, const QString& email, const QString& femail,
                             const QString& recon) const {
    return webBase() + QString::fromLatin1("/recomendar/sintonex.php?name=" + v(name) + "&email=" + v(email) +
                                           "&femail=" + v(femail) + "&recon=" + v(recon));
}

QString Endpoints::introPlaylist() const {
    return webBase() + "/tv/programa/anuncios_asx/version_242.php";
}
QString Endpoints::helpPage() const {
    return webBase() + "/sintonex/ayuda/principal/";
}
QString Endpoints::webHome() const {
    return webBase() + "/";
}
QString Endpoints::forumHome() const {
    return forumBase() + "/";
}
QString Endpoints::forumTopic() const {
    return forumBase() + "/topic/65";
}
QString Endpoints::lyricsSearch(const QString& words) const {
    const QByteArray query = v(words) + "+lyrics"; // '+' left for the engine as the blank
    // An engine given with its query part ("...?q=") takes the words as they are; a bare address
    // gets the usual "/search?q=".
    const QString engine = base("buscador", SINTONEX_SEARCH_URL);
    if (engine.contains(QLatin1Char('?')))
        return engine + QString::fromLatin1(query);
    return engine + QString::fromLatin1("/search?q=" + query);
}
QString Endpoints::donationPage() const {
    return webBase() + "/donar/";
}
QString Endpoints::reportForm() const {
    return webBase() + "/informar/";
}
QString Endpoints::downloadPage() const {
    return webBase() + "/sintonex/descargar/";
}
QString Endpoints::skinsHelp() const {
    return webBase() + "/sintonex/ayuda/fondos/";
}
