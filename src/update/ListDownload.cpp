#include "ListDownload.h"

#include "FileDownload.h"
#include "base/Endpoints.h"
#include "catalogue/ChannelList.h"
#include "platform/Downloader.h"

#include <QFile>
#include <QProgressBar>
#include <cstdio>

namespace {

// A list waits under this ending until both lists have arrived.
constexpr const char* kStagedEnding = ".nueva";

// A list as the service publishes it: text with "name||>data" lines. An error page or random bytes
// answered with success must not replace the user's lists.
bool looksLikeList(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.read(16 * 1024 * 1024);
    return !bytes.contains('\0') && bytes.contains("||>");
}

// Replaces `to` by `from` in one step: a reader sees the old list or the new one, never neither.
bool replaceFile(const QString& from, const QString& to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

ListDownload::ListDownload(QNetworkAccessManager* network, const Endpoints& endpoints, QString programFolder,
                           QObject* parent)
    : QObject(parent), m_network(network), m_tvSource(endpoints.tvListSource()),
      m_radioSource(endpoints.radioListSource()), m_folder(std::move(programFolder)) {}

ListDownload::~ListDownload() {
    abort();
}

void ListDownload::start(QProgressBar* bar) {
    abort();
    m_bar = bar;
    fetch(true);
}

void ListDownload::fetch(bool tv) {
    if (m_bar)
        m_bar->setFormat(tv ? QStringLiteral("Lista de televisión: %p%")
                            : QStringLiteral("Lista de radio: %p%"));
    m_download = downloadFile(*this, m_network, tv ? m_tvSource : m_radioSource, stagedFile(tv), m_bar,
                              [this, tv](bool ok) {
                                  m_download = nullptr;
                                  if (!ok)
                                      fail();
                                  else if (tv)
                                      fetch(false);
                                  else
                                      emit finished(true);
                              });
}

bool ListDownload::running() const {
    return m_download;
}

void ListDownload::fail() {
    removeStaged();
    emit finished(false);
}

void ListDownload::abort() {
    if (!m_download)
        return;
    m_download->abort();
    m_download->deleteLater();
    m_download = nullptr;
    removeStaged();
}

bool ListDownload::install() {
    // Both files were just created in this folder, so renaming them here does not fail in practice;
    // if it ever did, the caller keeps the version as it was and the lists are offered again.
    const bool ok = looksLikeList(stagedFile(true)) && looksLikeList(stagedFile(false)) &&
                    replaceFile(stagedFile(true), listFile(true)) &&
                    replaceFile(stagedFile(false), listFile(false));
    removeStaged();
    return ok;
}

void ListDownload::removeStaged() const {
    QFile::remove(stagedFile(true));
    QFile::remove(stagedFile(false));
}

QString ListDownload::listFile(bool tv) const {
    return catalogue::listFilePath(m_folder, tv ? catalogue::ListKind::Tv : catalogue::ListKind::Radio);
}

QString ListDownload::stagedFile(bool tv) const {
    return listFile(tv) + QLatin1String(kStagedEnding);
}
