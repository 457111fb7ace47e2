#include "FileDownload.h"

#include "base/Forms.h"
#include "platform/Downloader.h"
#include "platform/Platform.h"

#include <QProgressBar>
#include <algorithm>

namespace {
constexpr int kSteps = 1000;

void showProgress(QProgressBar* bar, qint64 received, qint64 total) {
    if (total <= 0) {
        bar->setRange(0, 0); // size unknown: the bar only shows that something is happening
        return;
    }
    bar->setRange(0, kSteps);
    bar->setValue(int(std::clamp<qint64>(received * kSteps / total, 0, kSteps)));
}
} // namespace

Downloader* downloadFile(Form& owner, const QString& url, const QString& path, QProgressBar* bar,
                         std::function<void(bool ok)> done) {
    return downloadFile(owner, owner.platform().network, url, path, bar, std::move(done));
}

Downloader* downloadFile(QObject& owner, QNetworkAccessManager* network, const QString& url,
                         const QString& path, QProgressBar* bar, std::function<void(bool ok)> done) {
    auto* download = new Downloader(network, &owner);
    if (bar) {
        bar->setRange(0, kSteps);
        bar->setValue(0);
        QObject::connect(download, &Downloader::progress, bar,
                         [bar](qint64 received, qint64 total) { showProgress(bar, received, total); });
    }
    QObject::connect(download, &Downloader::finished, &owner, [download, done = std::move(done)](bool ok) {
        download->deleteLater();
        done(ok);
    });
    download->start(url, path);
    return download;
}
