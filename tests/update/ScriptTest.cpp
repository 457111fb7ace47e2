#include "update/UpdateScript.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

QByteArray throughShell(const QByteArray& word) {
    QProcess sh;
    sh.start("/bin/sh", {"-c", QString::fromUtf8("printf '%s' " + word)});
    return sh.waitForFinished(5000) ? sh.readAllStandardOutput() : QByteArray("<sh failed>");
}

TEST(UpdateScript, QuotedPathsReachTheShellUnchanged) {
    for (const QByteArray& text :
         {QByteArray("/opt/sintonex/sintonex"), QByteArray("/home/ana/Mis programas/x"),
          QByteArray("/tmp/it's $(rm -rf x) `y` \"z\"\\ *"), QByteArray("''"),
          QByteArray("/ñandú/programa")}) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(throughShell(update::shellQuote(text)), text);
    }
}

} // namespace
