#include "base/Settings.h"
#include "platform/ProfileStrings.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SettingsFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Settings ini{dir.path()};
};

} // namespace

TEST_F(SettingsFile, MissingFileSectionKeyOrEmptyValueReadAsError) {
    EXPECT_EQ(ini.read("config", "vers_local_canales"), "error");
    EXPECT_FALSE(QFile::exists(ini.path())); // reading never creates the file

    writeAll(ini.path(), "[otra]\nvers_local_canales=5\n[config]\nfondo=\n");
    EXPECT_EQ(ini.read("config", "vers_local_canales"), "error"); // only in another section
    EXPECT_EQ(ini.read("config", "fondo"), "error");              // empty value
    EXPECT_EQ(ini.read("nada", "fondo"), "error");
}

TEST_F(SettingsFile, WriteCreatesTheFileAndReadsBack) {
    EXPECT_TRUE(ini.write("config", "vers_local_canales", "37"));
    EXPECT_EQ(ini.path(), QDir(dir.path()).filePath("config.ini"));
    EXPECT_EQ(ini.read("config", "vers_local_canales"), "37");
    EXPECT_TRUE(ini.write("config", "vers_local_canales", "38"));
    EXPECT_EQ(ini.read("config", "vers_local_canales"), "38");
    // One key line, not two.
    EXPECT_EQ(readAll(ini.path()).count("vers_local_canales"), 1);
}

TEST_F(SettingsFile, AValueCannotBreakItsLineOrForgeKeys) {
    ini.write("config", "vers_local_canales", "37\n[config]\r\nfondo=/etc/passwd");
    EXPECT_EQ(ini.read("config", "fondo"), "error");
    EXPECT_EQ(ini.read("config", "vers_local_canales"), "37 [config] fondo=/etc/passwd");
}

TEST_F(SettingsFile, LongValuesAreCutAt949Characters) {
    const QString v(1000, QChar('x'));
    ini.write("config", "fondo", v);
    EXPECT_EQ(ini.read("config", "fondo"), v.left(949));
    ini.write("config", "fondo", QString(949, QChar('y')));
    EXPECT_EQ(ini.read("config", "fondo").size(), 949);
}

TEST_F(SettingsFile, NamesMatchWithoutCaseAndBlanksAroundAreIgnored) {
    // As another editor might leave it: odd case, blanks, CR LF, comments, quotes.
    writeAll(ini.path(), "; written by hand\r\n[ CONFIG ]\r\n  Fondo  =   /home/ana/mar.jpg  \r\n"
                         "GRABADORA=\"/home/ana/Grab/\"\r\n");
    EXPECT_EQ(ini.read("config", "fondo"), "/home/ana/mar.jpg");
    EXPECT_EQ(ini.read("Config", "FONDO"), "/home/ana/mar.jpg");
    EXPECT_EQ(ini.read("config", "grabadora"), "/home/ana/Grab/");
}

TEST_F(SettingsFile, WritesKeepEveryOtherLineByteForByte) {
    const QByteArray before =
        "; comentario\r\n[Config]\r\nFondo=C:\\\r\nzeta = 1\r\n\r\n[otra]\r\nx=\xe9\r\n";
    writeAll(ini.path(), before);
    ini.write("config", "fondo", "/tmp/a.png");
    ini.write("config", "donaciones01", "0");
    ini.write("nueva", "clave", "valor");
    const QByteArray after = readAll(ini.path());
    EXPECT_EQ(after, "; comentario\r\n[Config]\r\nfondo=/tmp/a.png\r\nzeta = 1\r\ndonaciones01=0\r\n\r\n"
                     "[otra]\r\nx=\xe9\r\n\r\n[nueva]\r\nclave=valor\r\n");
    EXPECT_EQ(ini.read("otra", "x"), QString::fromUtf8("é")); // Windows-1252 file decoded
}

TEST_F(SettingsFile, EncodingFollowsTheFile) {
    ini.write("config", "fondo", QString::fromUtf8("/home/añ/fondo.jpg"));
    EXPECT_EQ(readAll(ini.path()), QByteArray("[config]\nfondo=/home/a\xc3\xb1/fondo.jpg\n"));
    EXPECT_EQ(ini.read("config", "fondo"), QString::fromUtf8("/home/añ/fondo.jpg"));

    // A Windows-1252 file stays Windows-1252.
    writeAll(ini.path(), "[config]\r\nfondo=C:\\Im\xe1genes\\a.bmp\r\n");
    EXPECT_EQ(ini.read("config", "fondo"), QString::fromUtf8("C:\\Imágenes\\a.bmp"));
    ini.write("config", "grabadora", QString::fromUtf8("/tmp/Grabación/"));
    EXPECT_EQ(readAll(ini.path()), QByteArray("[config]\r\nfondo=C:\\Im\xe1genes\\a.bmp\r\n"
                                              "grabadora=/tmp/Grabaci\xf3n/\r\n"));
}

TEST_F(SettingsFile, AKilledWriterNeverLeavesHalfAFile) {
    // A writer killed at a random moment leaves either the old or the new file, whole.
    const QString big1 = QString(400000, QChar('a'));
    const QString big2 = QString(400000, QChar('b'));
    writeAll(ini.path(), "[config]\nfondo=" + big1.toLatin1() + "\nvers_local_canales=7\n");
    for (int round = 0; round < 12; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                profile::write(ini.path(), "config", "fondo", i % 2 ? big1 : big2);
        }
        usleep(2000 + round * 1700);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const QString v = profile::read(ini.path(), "config", "fondo");
        EXPECT_TRUE(v == big1 || v == big2) << "round " << round << ": value of length " << v.size();
        EXPECT_EQ(profile::read(ini.path(), "config", "vers_local_canales"), "7");
    }
    // No temporary files are left behind either way that would be read as settings.
    EXPECT_EQ(ini.read("config", "vers_local_canales"), "7");
}

TEST_F(SettingsFile, WholeSectionsAreReplacedRemovedAndAddedWithTheRestKeptByteForByte) {
    const QString path = dir.filePath("programadas.ini");
    writeAll(path, "; notas\r\n[uno]\r\na=1\r\n; de uno\r\nb=2\r\n\r\n[dos]\r\nx=\xe9\r\n");
    EXPECT_EQ(profile::sections(path), (QStringList{"uno", "dos"}));
    EXPECT_EQ(profile::readSection(path, "DOS"), (profile::Keys{{"x", QString::fromUtf8("é")}}));

    ASSERT_TRUE(profile::writeSection(path, "uno", {{"c", "3"}}));
    EXPECT_EQ(readAll(path), "; notas\r\n[uno]\r\nc=3\r\n\r\n[dos]\r\nx=\xe9\r\n");
    ASSERT_TRUE(profile::writeSection(path, "tres", {{"canal", "Tel\u00e9 Sur"}}));
    EXPECT_EQ(readAll(path),
              "; notas\r\n[uno]\r\nc=3\r\n\r\n[dos]\r\nx=\xe9\r\n\r\n[tres]\r\ncanal=Tel\xe9 Sur\r\n");
    ASSERT_TRUE(profile::writeSection(path, "uno", {}));
    EXPECT_EQ(profile::sections(path), (QStringList{"dos", "tres"}));
    // A value Windows-1252 cannot hold moves the whole file to UTF-8, the others' bytes with it.
    ASSERT_TRUE(profile::writeSection(path, "tres", {{"canal", QString::fromUtf8("Радио")}}));
    EXPECT_EQ(profile::readSection(path, "dos"), (profile::Keys{{"x", QString::fromUtf8("é")}}));
    EXPECT_EQ(profile::readSection(path, "tres"), (profile::Keys{{"canal", QString::fromUtf8("Радио")}}));
    EXPECT_TRUE(readAll(path).contains("x=\xc3\xa9"));
}
