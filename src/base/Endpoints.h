// Endpoints: every request the program makes to the maker's service, web site and forum, built in
// one place. The three base addresses, the support address and the search engine are compiled
// defaults that config.ini may override ("servidor", "web", "foro", "soporte", "buscador" in section
// "config"). Every query value is percent-encoded, so the service receives exactly the text (for a
// channel name: the bytes of the list file). The service an installed program brings along
// stands for the compiled defaults where it runs (it may have had to take other ports).
#pragma once

#include "platform/Platform.h"

#include <QByteArray>
#include <QString>

class QUrl;
class Settings;

class Endpoints {
public:
    // `bundled`, when given, is read on every request: the run's own service may move.
    explicit Endpoints(const Settings& settings, const ServiceBases* bundled = nullptr);

    QString serviceBase() const;
    // The compiled-in base addresses, used when config.ini names none.
    static QString defaultServiceBase();
    static QString defaultWebBase();
    static QString defaultForumBase();
    // Same address: scheme, host and port; a trailing slash or letter case makes no difference.
    static bool sameAddress(const QUrl& a, const QUrl& b);
    QString webBase() const;
    QString forumBase() const;
    // Where users reach support by other means: an e-mail or web address ("soporte" in config.ini).
    QString supportAddress() const;
    // The web site's host name, as the windows show it.
    QString webHostName() const;

    QString counter() const;
    QString programVersionCheck() const;
    QString listVersionCheck(const QString& listVersion) const;
    QString currentListVersion() const;
    QString asxResolver(const QByteArray& name, const QString& listVersion) const;
    QString htmlResolver(const QByteArray& name, const QString& listVersion) const;
    QString testStation() const;
    // The programme guide: every TV channel's next hours, one channel's now and next, and one
    // channel's programmes between two UTC instants (seconds).
    QString guideGrid() const;
    QString guideNowNext(const QByteArray& name) const;
    QString guideDays(const QByteArray& name, qint64 fromUtc, qint64 toUtc) const;
    QString tvListSource() const;
    QString radioListSource() const;
    QString programSource() const;
    QString chat() const;
    QString teletext() const;
    QString support(const QString& nombre, const QString& mail, const QString& mensaje, const QString& ver,
                    const QString& sisop) const;
    QString recommend(const QString& name, const QString& email, const QString& femail,
                      const QString& recon) const;
    QString introPlaylist() const;
    QString helpPage() const;
    QString webHome() const;
    QString forumHome() const;
    QString forumTopic() const;
    // The search engine ("buscador" in config.ini) asked for the words and "lyrics".
    QString lyricsSearch(const QString& words) const;
    QString donationPage() const;
    QString reportForm() const;
    // Where a newer program is offered for download, for an install the program cannot replace.
    QString downloadPage() const;
    QString skinsHelp() const;

private:
    QString base(const char* key, const char* fallback, QString ServiceBases::*bundled = nullptr) const;
    QString service(const QByteArray& pathAndQuery) const;

    const Settings& m_settings;
    const ServiceBases* m_bundled;
};
