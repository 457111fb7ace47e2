// Every request the program builds from text the user typed or a list file holds: whatever the
// text, the request keeps exactly its parameters and the service decodes exactly the text's bytes.
#include "base/Endpoints.h"
#include "FuzzSupport.h"
#include "base/Settings.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>
#include <utility>
#include <vector>

namespace {

QTemporaryDir* folder = nullptr;
Settings* settings = nullptr;

using Params = std::vector<std::pair<const char*, QByteArray>>;

// `tail` is fixed text the program appends to the first parameter's value.
void checkUrl(const char* which, const QString& url, const QString& prefix, const Params& expected,
              const QByteArray& tail = {}) {
    const QByteArray detail = QByteArray(which) + ": " + url.toUtf8();
    for (const QChar c : url)
        fuzz::check(c.unicode() > 0x20 && c.unicode() < 0x7F && c != '#', "raw character in a request",
                    detail);
    const qsizetype q = url.indexOf('?');
    fuzz::check(q > 0 && url.left(q) == prefix, "address before the query changed", detail);
    const QStringList items = url.mid(q + 1).split('&');
    fuzz::check(items.size() == qsizetype(expected.size()), "parameter added or dropped", detail);
    for (size_t i = 0; i < expected.size(); ++i) {
        const QString& item = items[qsizetype(i)];
        const qsizetype eq = item.indexOf('=');
        fuzz::check(eq > 0 && item.left(eq) == QLatin1String(expected[i].first), "parameter renamed", detail);
        QByteArray value = item.mid(eq + 1).toLatin1();
        if (i == 0 && !tail.isEmpty()) {
            fuzz::check(value.endsWith(tail), "fixed tail of a parameter lost", detail);
            value.chop(tail.size());
        }
        // A form decoder reads '+' as a blank: the text's own '+' must arrive encoded.
        fuzz::check(!value.contains('+'), "raw '+' in a value", detail);
        fuzz::check(QByteArray::fromPercentEncoding(value) == expected[i].second, "value not decoded back",
                    detail);
    }
    // What Qt's network layer will send: the same parameters, the same bytes.
    const QUrl parsed(url, QUrl::StrictMode);
    fuzz::check(parsed.isValid(), "request address invalid", detail);
    const QUrlQuery query(parsed);
    const auto qItems = query.queryItems(QUrl::FullyEncoded);
    fuzz::check(qItems.size() == qsizetype(expected.size()), "Qt sees another parameter count", detail);
    fuzz::check(parsed.toString(QUrl::FullyEncoded) == url, "Qt would send another address", detail);
}

QString text(FuzzedDataProvider& in) {
    return QString::fromUtf8(fuzz::bytes(in.ConsumeRandomLengthString(96)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder = new QTemporaryDir;
    settings = new Settings(folder->path());
    settings->write(QStringLiteral("config"), QStringLiteral("buscador"),
                    QStringLiteral("http://buscador.test"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const QByteArray name = fuzz::bytes(in.ConsumeRandomLengthString(96));
    const QString listVersion = text(in), a = text(in), b = text(in), c = text(in), d = text(in),
                  e = text(in);
    const Endpoints ep(*settings);
    const QString service = ep.serviceBase();
    const QString web = ep.webBase();
    const QByteArray ver = "245";

    checkUrl("listVersionCheck", ep.listVersionCheck(listVersion),
             service + "/windows/versiones/comprobar_ver_canales.php", {{"ver", listVersion.toUtf8()}});
    checkUrl("asxResolver", ep.asxResolver(name, listVersion), service + "/windows/pqlrvbxdk27/canalasx.php",
             {{"canala", name}, {"versionlistacanales", listVersion.toUtf8()}, {"versionprograma", ver}});
    checkUrl("htmlResolver", ep.htmlResolver(name, listVersion),
             service + "/windows/pqlrvbxdk27/canalhtml.php",
             {{"canalb", name}, {"versionlistacanales", listVersion.toUtf8()}, {"versionprograma", ver}});
    checkUrl("support", ep.support(a, b, c, d, e), service + "/windows/soporte/soportevertres.php",
             {{"nombre", a.toUtf8()},
              {"mail", b.toUtf8()},
              {"mensaje", c.toUtf8()},
              {"ver", d.toUtf8()},
              {"sisop", e.toUtf8()}});
    checkUrl("recommend", ep.recommend(a, b, c, d), web + "/recomendar/sintonex.php",
             {{"name", a.toUtf8()}, {"email", b.toUtf8()}, {"femail", c.toUtf8()}, {"recon", d.toUtf8()}});
    checkUrl("lyricsSearch", ep.lyricsSearch(e), QStringLiteral("http://buscador.test/search"),
             {{"q", e.toUtf8()}}, "+lyrics");
    return 0;
}
