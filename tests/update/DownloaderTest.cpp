#include "platform/Downloader.h"
#include "support/HttpPeer.h"
#include "support/TestPlatform.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class Download : public ::testing::Test {
protected:
    QTemporaryDir dir;
    HttpPeer peer;
    QNetworkAccessManager network;
    Downloader downloader{&network};
    QSignalSpy finished{&downloader, &Downloader::finished};
    const QString target = dir.filePath("lista.exe");
    const QByteArray body = QByteArray(300000, 'x') + "fin";

    void SetUp() override {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("anterior");
    }
    QString url(const char* path) const { return peer.base() + QString::fromLatin1(path); }
    bool outcome(bool expected) {
        if (!waitFor([&] { return finished.count() > 0; }, 10000))
            return false;
        return finished.count() == 1 && finished[0][0].toBool() == expected && !downloader.isRunning();
    }
    QByteArray targetBytes() const {
        QFile f(target);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList folder() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }
};

TEST_F(Download, ACompleteBodyReplacesTheTargetAndProgressReachesTheTotal) {
    peer.route("/f", body);
    QSignalSpy progress(&downloader, &Downloader::progress);
    downloader.start(url("/f?x=1"), target);
    ASSERT_TRUE(outcome(true)) << downloader.errorString().toStdString();
    EXPECT_EQ(targetBytes(), body);
    EXPECT_EQ(folder(), QStringList{"lista.exe"});
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last()[0].toLongLong(), body.size());
    EXPECT_EQ(progress.last()[1].toLongLong(), body.size());
    EXPECT_EQ(downloader.errorString(), "");
}

TEST_F(Download, ABodyThatStopsArrivingFailsAfterTheStallTimeout) {
    peer.route("/f", body, HttpPeer::Fault::Stall);
    downloader.setStallTimeout(300);
    downloader.start(url("/f"), target);
    ASSERT_TRUE(outcome(false));
    EXPECT_EQ(targetBytes(), "anterior");
    EXPECT_EQ(folder(), QStringList{"lista.exe"});
}

TEST_F(Download, UnusableAddressesAndFoldersFailFromTheEventLoop) {
    const struct {
        QString url, target;
    } cases[] = {{"", target},
                 {"file:///etc/hostname", target},
                 {"http://", target},
                 {url("/f"), dir.filePath("no-such-folder/lista.exe")}};
    peer.route("/f", body);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.toStdString() + " -> " + c.target.toStdString());
        finished.clear();
        downloader.start(c.url, c.target);
        EXPECT_EQ(finished.count(), 0) << "not from inside start()";
        EXPECT_TRUE(downloader.isRunning());
        ASSERT_TRUE(outcome(false));
    }
    EXPECT_EQ(peer.requests.size(), 0);
    EXPECT_EQ(targetBytes(), "anterior");
}

TEST_F(Download, AbortingOrStartingAgainEndsTheRunningTransferSilently) {
    peer.route("/lento", body, HttpPeer::Fault::Stall);
    peer.route("/f", "nuevo");
    downloader.start(url("/lento"), target);
    ASSERT_TRUE(waitFor([&] { return peer.requests.size() == 1; }, 5000));
    downloader.abort();
    EXPECT_FALSE(downloader.isRunning());
    waitFor([] { return false; }, 200);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(folder(), QStringList{"lista.exe"});

    downloader.start(url("/lento"), target);
    downloader.start(url("/f"), target); // the first one is dropped, only the second reports
    ASSERT_TRUE(outcome(true));
    waitFor([] { return false; }, 200);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(targetBytes(), "nuevo");
    EXPECT_EQ(folder(), QStringList{"lista.exe"});
}

} // namespace
