// Reading the channel list files: line format, line endings, encodings and the pairing of
// `canales` with `channel_data`.
#include "catalogue/ChannelList.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace catalogue;

namespace {

struct Loaded {
    QStringList names;
    QStringList data; // channel_data as the window holds it
    QList<QByteArray> nameBytes;
};

class ListFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QListWidget canales;
    QStringList channel_data{"stale"};

    QString path() const { return listFilePath(dir.path(), ListKind::Tv); }
    void write(const QByteArray& bytes) const {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    Loaded load(const QByteArray& bytes) {
        write(bytes);
        return loadAgain();
    }
    Loaded loadAgain() {
        loadChannelList(path(), canales, channel_data);
        Loaded out;
        out.data = channel_data;
        for (int i = 0; i < canales.count(); ++i) {
            out.names << canales.item(i)->text();
            out.nameBytes << nameBytesOf(*canales.item(i));
        }
        return out;
    }
};

} // namespace

TEST(ListFileNames, LiveInTheProgramFolder) {
    EXPECT_EQ(listFilePath("/opt/sintonex", ListKind::Tv), "/opt/sintonex/vqrcv8xotv.exe");
    EXPECT_EQ(listFilePath("/opt/sintonex", ListKind::Radio), "/opt/sintonex/oftwy69jrad.exe");
}

TEST_F(ListFile, NamesAndDataAreTrimmedAndExtraFieldsIgnored) {
    const Loaded l = load("Canal Uno||>asx\r\n"
                          "   Canal Dos   ||>  html  \r\n"
                          "Canal Tres||>asx||>texto de sobra\r\n"
                          "Canal Cuatro\r\n"
                          "Canal Cinco||>http://cinco.example/directo ||>\r\n");
    EXPECT_EQ(l.names, (QStringList{"Canal Uno", "Canal Dos", "Canal Tres", "Canal Cuatro", "Canal Cinco"}));
    EXPECT_EQ(l.data, (QStringList{"asx", "html", "asx", "", "http://cinco.example/directo", ""}));
}

TEST_F(ListFile, SkippedLinesDoNotBreakThePairingOfNamesAndData) {
    const Loaded l = load("\r\n"
                          "      \r\n"
                          "||>asx\r\n"
                          "Uno||>html\r\n"
                          "||>\r\n"
                          "Uno||>asx\r\n"
                          "   ||>htmlasx\r\n"
                          "Dos|>asx\r\n");
    // A first part of blanks is not empty: it gives an item with an empty name.
    EXPECT_EQ(l.names, (QStringList{"Uno", "Uno", "", "Dos|>asx"}));
    EXPECT_EQ(l.data, (QStringList{"html", "asx", "htmlasx", "", ""}));
}

TEST_F(ListFile, EveryLineEndingEndsALineAndTheLastLineNeedsNone) {
    const Loaded l = load("A||>asx\r\nB||>html\rC||>asx\nD||>html\n\r\n\rE||>asx");
    EXPECT_EQ(l.names, (QStringList{"A", "B", "C", "D", "E"}));
    EXPECT_EQ(l.data, (QStringList{"asx", "html", "asx", "html", "asx", ""}));
}

TEST_F(ListFile, ChannelDataHasOneMoreElementThanTheListAndTheLastIsEmpty) {
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\r\n\r\n"), QByteArray("Uno||>asx"),
                                    QByteArray("Uno||>asx\r\nDos||>html\r\nTres")}) {
        const Loaded l = load(bytes);
        EXPECT_EQ(l.data.size(), l.names.size() + 1) << bytes.constData();
        EXPECT_EQ(l.data.last(), "") << bytes.constData();
    }
}

TEST_F(ListFile, Windows1252NamesAreDecodedAndKeepTheirBytes) {
    const Loaded l = load("Canal Espa\xF1"
                          "a||>asx\r\nCadena Se\xF1or\xEDo||>html\r\n");
    EXPECT_EQ(l.names, (QStringList{QString::fromUtf8("Canal España"), QString::fromUtf8("Cadena Señorío")}));
    EXPECT_EQ(l.nameBytes, (QList<QByteArray>{"Canal Espa\xF1"
                                              "a",
                                              "Cadena Se\xF1or\xEDo"}));
}

TEST_F(ListFile, Utf8NamesAreDecodedAndABomIsNotPartOfTheFirstName) {
    const Loaded l = load("\xEF\xBB\xBF"
                          "Canal Espa\xC3\xB1"
                          "a||>asx\nTeleNoticias||>html\n");
    EXPECT_EQ(l.names, (QStringList{QString::fromUtf8("Canal España"), "TeleNoticias"}));
    EXPECT_EQ(l.nameBytes.first(), QByteArray("Canal Espa\xC3\xB1"
                                              "a"));
}

TEST_F(ListFile, AMissingFileKeepsTheItemsButResetsTheData) {
    load("Uno||>asx\r\nDos||>html\r\n");
    QFile::remove(path());
    const Loaded l = loadAgain();
    EXPECT_EQ(l.names, (QStringList{"Uno", "Dos"}));
    EXPECT_EQ(l.data, QStringList{""});
}

TEST_F(ListFile, AFileThatCannotBeReadLeavesTheListEmpty) {
    load("Uno||>asx\r\n");
    QFile::remove(path());
    ASSERT_TRUE(QDir(dir.path()).mkdir(listFileName(ListKind::Tv))); // exists, but is no file
    const Loaded l = loadAgain();
    EXPECT_TRUE(l.names.isEmpty());
    EXPECT_EQ(l.data, QStringList{""});
}

TEST_F(ListFile, ReloadingReplacesTheItems) {
    load("Uno||>asx\r\nDos||>html\r\n");
    const Loaded l = load("Tres||>html\r\n");
    EXPECT_EQ(l.names, QStringList{"Tres"});
    EXPECT_EQ(l.data, (QStringList{"html", ""}));
}

TEST_F(ListFile, AReloadWhileShownKeepsTheSelectedChannelByNameAtItsHeight) {
    const auto channels = [](int from, int count) {
        QByteArray out;
        for (int i = from; i < from + count; ++i)
            out += "Canal " + QByteArray::number(i) + "||>asx\r\n";
        return out;
    };
    load(channels(0, 50) +
         "Se\xF1"
         "al||>html\r\n" +
         channels(50, 50)); // Windows-1252
    canales.resize(200, 160);
    canales.show();
    canales.setCurrentRow(50);
    canales.verticalScrollBar()->setValue(48); // the third row from the top
    ASSERT_EQ(canales.verticalScrollBar()->value(), 48);

    // Moved down by twenty-one rows, and now in UTF-8 since another name needs it.
    write("Radio 📻||>asx\r\n" + channels(100, 20) + channels(0, 50) + "Señal||>html\r\n" + channels(50, 50));
    EXPECT_EQ(reloadChannelList(path(), canales, channel_data), 71);
    EXPECT_EQ(canales.currentRow(), 71);
    EXPECT_TRUE(canales.currentItem()->isSelected());
    EXPECT_EQ(canales.verticalScrollBar()->value(), 69);
    EXPECT_EQ(channel_data.size(), 123);
    EXPECT_EQ(channel_data.at(71), "html");
    EXPECT_EQ(nameBytesOf(*canales.item(71)), "Señal");

    // A file that cannot be read changes nothing; a list without the name selects nothing.
    QFile::remove(path());
    ASSERT_TRUE(QDir(dir.path()).mkdir(listFileName(ListKind::Tv)));
    EXPECT_EQ(reloadChannelList(path(), canales, channel_data), 71);
    EXPECT_EQ(canales.count(), 122);
    ASSERT_TRUE(QDir(dir.path()).rmdir(listFileName(ListKind::Tv)));
    write("Otro||>asx\r\n");
    EXPECT_EQ(reloadChannelList(path(), canales, channel_data), -1);
    EXPECT_EQ(canales.currentRow(), -1);
    EXPECT_TRUE(canales.selectedItems().isEmpty());
    EXPECT_EQ(channel_data, (QStringList{"asx", ""}));
}
