#include "ChannelList.h"

#include "platform/Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QScrollBar>

namespace catalogue {

namespace {

constexpr int kNameBytesRole = Qt::UserRole + 1;
const QByteArray kSeparator = QByteArrayLiteral("||>");
constexpr qsizetype kUniformSizesFrom = 10000;

// Blanks around names and data are not significant; other white space is kept as written.
QByteArray trimBlanks(const QByteArray& s) {
    qsizetype from = 0, to = s.size();
    while (from < to && s.at(from) == ' ')
        ++from;
    while (to > from && s.at(to - 1) == ' ')
        --to;
    return s.mid(from, to - from);
}

QList<QByteArray> splitLines(const QByteArray& bytes) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines.append(bytes.mid(start, i - start));
        if (c == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.append(bytes.mid(start));
    return lines;
}

// Measuring every name before a list can show costs about 4 µs a name: for a list of many
// thousands that is most of its load. Such a list takes the first row's size for every row (a name
// wider than the list is then cut short rather than scrolled to).
void fillList(const QList<ChannelEntry>& entries, QListWidget& canales, QStringList& channel_data) {
    channel_data = QStringList{QString()};
    canales.clear();
    canales.setUniformItemSizes(entries.size() > kUniformSizesFrom);
    for (const ChannelEntry& e : entries) {
        channel_data.last() = e.data;
        channel_data.append(QString());
        auto* item = new QListWidgetItem(e.name);
        item->setData(kNameBytesRole, e.nameBytes);
        canales.addItem(item);
    }
}

} // namespace

QString listFileName(ListKind kind) {
    return kind == ListKind::Tv ? QStringLiteral("vqrcv8xotv.exe") : QStringLiteral("oftwy69jrad.exe");
}

QString listFilePath(const QString& programFolder, ListKind kind) {
    return programFolder + QLatin1Char('/') + listFileName(kind);
}

QList<ChannelEntry> parseChannelList(const QByteArray& fileBytes) {
    QByteArray bytes = fileBytes;
    const bool utf8 = text::isValidUtf8(bytes);
    if (utf8 && bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const auto decode = [utf8](const QByteArray& b) {
        return utf8 ? QString::fromUtf8(b) : text::decodeWindows1252(b);
    };

    QList<ChannelEntry> entries;
    for (const QByteArray& line : splitLines(bytes)) {
        if (trimBlanks(line).isEmpty())
            continue;
        const qsizetype sep = line.indexOf(kSeparator);
        const QByteArray first = sep < 0 ? line : line.left(sep);
        // A first part made of blanks is not empty: it gives an item with an empty name.
        if (first.isEmpty())
            continue;
        QByteArray data;
        if (sep >= 0) {
            const QByteArray rest = line.mid(sep + kSeparator.size());
            const qsizetype next = rest.indexOf(kSeparator);
            data = next < 0 ? rest : rest.left(next);
        }
        const QByteArray name = trimBlanks(first);
        entries.append({decode(name), name, decode(trimBlanks(data))});
    }
    return entries;
}

void loadChannelList(const QString& path, QListWidget& canales, QStringList& channel_data) {
    channel_data = QStringList{QString()};
    if (!QFileInfo::exists(path))
        return;
    canales.clear();
    QFile file(path);
    // A file that exists but cannot be read leaves the list empty: no retry.
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    file.close();
    fillList(parseChannelList(bytes), canales, channel_data);
}

int reloadChannelList(const QString& path, QListWidget& canales, QStringList& channel_data) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return canales.currentRow();
    const QList<ChannelEntry> entries = parseChannelList(file.readAll());

    const QListWidgetItem* current = canales.currentItem();
    const bool selected = current && current->isSelected();
    const QString name = selected ? current->text() : QString();
    QScrollBar* bar = canales.verticalScrollBar();
    const int top = bar->value();
    const int height = selected ? canales.currentRow() - top : 0; // rows between the top and it

    // One repaint for the whole change, not one per row.
    canales.setUpdatesEnabled(false);
    fillList(entries, canales, channel_data);
    int row = -1;
    for (qsizetype i = 0; selected && i < entries.size(); ++i)
        if (entries.at(i).name == name) {
            row = int(i);
            break;
        }
    if (row >= 0) {
        canales.setCurrentRow(row);
        bar->setValue(std::max(0, row - height));
    } else {
        canales.setCurrentRow(-1);
        bar->setValue(top);
    }
    canales.setUpdatesEnabled(true);
    return row;
}

QByteArray nameBytesOf(const QListWidgetItem& item) {
    const QVariant bytes = item.data(kNameBytesRole);
    return bytes.isValid() ? bytes.toByteArray() : item.text().toUtf8();
}

} // namespace catalogue
