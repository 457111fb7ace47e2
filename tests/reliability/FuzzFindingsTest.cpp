// What the fuzz targets found in the parsers, kept here so each stays mended.
#include "platform/ProfileStrings.h"
#include "support/Files.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A Windows-1252 config.ini (written by an older version on Windows) given a value that Windows-1252
// cannot hold: one UTF-8 line in it used to make the whole file read back as garbage, this value
// and every other accented one.
TEST(FuzzFindings, ValueOutsideWindows1252MovesTheWholeIniToUtf8) {
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    writeAll(path, "[config]\r\ngrabadora=/home/jos\xe9/m\xfasica\r\n[Ultima]\r\ncanal=Tel\xe9 Sur\r\n");

    const QString value = QStringLiteral("Канал 1 ★");
    ASSERT_TRUE(profile::write(path, "Ultima", "radio", value));
    EXPECT_EQ(profile::read(path, "Ultima", "radio"), value);
    EXPECT_EQ(profile::read(path, "config", "grabadora"), QStringLiteral("/home/josé/música"));
    EXPECT_EQ(profile::read(path, "Ultima", "canal"), QStringLiteral("Telé Sur"));
    EXPECT_EQ(readAll(path),
              QByteArray("[config]\r\ngrabadora=/home/jos\xc3\xa9/m\xc3\xbasica\r\n[Ultima]\r\n"
                         "canal=Tel\xc3\xa9 Sur\r\nradio=") +
                  value.toUtf8() + "\r\n");

    // A section name outside Windows-1252 does the same.
    writeAll(path, "[config]\nfondo=ni\xf1o\n");
    ASSERT_TRUE(profile::write(path, QStringLiteral("Ωmega"), "k", "v"));
    EXPECT_EQ(profile::read(path, QStringLiteral("Ωmega"), "k"), "v");
    EXPECT_EQ(profile::read(path, "config", "fondo"), QStringLiteral("niño"));
}

// Values Windows-1252 holds keep the file as it was: older versions still read it.
TEST(FuzzFindings, ValueInsideWindows1252KeepsTheFileInWindows1252) {
    QTemporaryDir dir;
    const QString path = dir.filePath("config.ini");
    writeAll(path, "[Ultima]\ncanal=Tel\xe9 Sur\n");
    ASSERT_TRUE(profile::write(path, "Ultima", "radio", QStringLiteral("Canción €")));
    EXPECT_EQ(readAll(path), QByteArray("[Ultima]\ncanal=Tel\xe9 Sur\nradio=Canci\xf3n \x80\n"));
}
