// What a server's answers must not be able to do: lead the player to local files or to the
// player's own protocols, or make the update script signal whole groups of processes.
#include "platform/Playlist.h"
#include "support/TestPlatform.h"
#include "update/UpdateScript.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

namespace {

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

TEST(Security, PlaylistEntriesThatAreNotNetworkStreamsAreNeverHandedToThePlayer) {
    QTemporaryDir dir;
    const QString asx = dir.filePath("canal.asx");
    writeAll(asx, "<asx version=\"3.0\"><entry><title>Canal</title>"
                  "<ref href=\"file:///etc/passwd\"/><ref href=\"lavfi://sine\"/>"
                  "<ref href=\"av://v4l2:/dev/video0\"/><ref href=\"/etc/shadow\"/>"
                  "<ref href=\"rtsp://127.0.0.1:9/directo\"/></entry></asx>");
    QNetworkAccessManager nam;
    PlaylistResolver resolver(&nam);
    QStringList handedOut;
    bool failed = false;
    QObject::connect(&resolver, &PlaylistResolver::resolved, [&](const playlist::Entry& e) {
        handedOut << e.url;
        resolver.next(); // as the player does when a candidate cannot be played
    });
    QObject::connect(&resolver, &PlaylistResolver::failed, [&] { failed = true; });
    resolver.start(QUrl::fromLocalFile(asx).toString());
    ASSERT_TRUE(waitFor([&] { return failed; }, 10000));
    // Only the network stream, which only the player can open.
    EXPECT_EQ(handedOut, QStringList{"rtsp://127.0.0.1:9/directo"});
}

TEST(Security, UpdateScriptRefusesAProcessIdThatNamesAGroup) {
    QTemporaryDir dir;
    const QString program = dir.filePath("sintonex"), download = dir.filePath("sintonextemp"),
                  script = dir.filePath("completa_actualizacion.sh");
    for (const qint64 pid : {0LL, -1LL, 1LL}) {
        SCOPED_TRACE(pid);
        writeAll(program, "viejo");
        writeAll(download, "nuevo");
        writeAll(script, update::completionScript({pid, program, download, script}));
        // In a session of its own: were the guard missing, "kill 0" would end only the script.
        QProcess sh;
        sh.start("setsid", {"-w", "/bin/sh", script});
        ASSERT_TRUE(sh.waitForFinished(20000));
        EXPECT_EQ(sh.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sh.exitCode(), 1);
        QFile p(program);
        ASSERT_TRUE(p.open(QIODevice::ReadOnly));
        EXPECT_EQ(p.readAll(), "viejo");
    }
}
