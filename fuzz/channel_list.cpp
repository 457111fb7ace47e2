// A channel list file as the list update downloads it: parsed, then loaded into a list box.
#include "FuzzSupport.h"
#include "catalogue/ChannelList.h"
#include "platform/Text.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

namespace {
QTemporaryDir* folder = nullptr;
QListWidget* canales = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    folder = new QTemporaryDir;
    canales = new QListWidget;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<catalogue::ChannelEntry> entries = catalogue::parseChannelList(file);

    const bool utf8 = text::isValidUtf8(file);
    const qsizetype lineEnds = file.count('\n') + file.count('\r') + 1;
    fuzz::check(entries.size() <= lineEnds, "more channels than lines");
    for (const catalogue::ChannelEntry& e : entries) {
        const QByteArray& n = e.nameBytes;
        fuzz::check(!n.startsWith(' ') && !n.endsWith(' '), "blanks kept around a name", n);
        fuzz::check(!n.contains('\n') && !n.contains('\r') && !n.contains("||>"),
                    "name spans a line or field", n);
        const QString dataText = e.data;
        fuzz::check(!dataText.contains('\n') && !dataText.contains('\r') && !dataText.contains("||>"),
                    "data spans a line or field", e.data.toUtf8());
        // The service is asked with the file's bytes, so the shown name must be exactly them.
        const QString expected = utf8 ? QString::fromUtf8(n) : text::decodeWindows1252(n);
        fuzz::check(e.name == expected, "name differs from its bytes", n);
    }

    const QString path = folder->filePath(QStringLiteral("lista.exe"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(file) != file.size())
            fuzz::fail("cannot write the list file");
    }
    QStringList channelData;
    catalogue::loadChannelList(path, *canales, channelData);
    fuzz::check(canales->count() == entries.size(), "loaded count differs from parsed count");
    fuzz::check(channelData.size() == canales->count() + 1 && channelData.last().isEmpty(),
                "channel_data is not one longer than the list");
    for (int i = 0; i < canales->count(); ++i) {
        const QListWidgetItem& item = *canales->item(i);
        fuzz::check(item.text() == entries[i].name, "item text differs");
        fuzz::check(catalogue::nameBytesOf(item) == entries[i].nameBytes, "item bytes differ");
        fuzz::check(channelData[i] == entries[i].data, "channel data differs");
    }
    return 0;
}
