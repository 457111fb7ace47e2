// The two channel list files and their loading into a player window's list `canales` and its
// parallel `channel_data`. A list file is text: one channel a line, "name||>data".
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QListWidget;
class QListWidgetItem;

namespace catalogue {

enum class ListKind { Tv, Radio };

QString listFileName(ListKind kind);
QString listFilePath(const QString& programFolder, ListKind kind);

struct ChannelEntry {
    QString name;
    QByteArray nameBytes; // the name as the file holds it: the service is asked with these bytes
    QString data;
};

// The accepted lines of a list file, in file order. CR LF, CR and LF all end a line. The file is
// UTF-8 when it is valid UTF-8 and Windows-1252 otherwise.
QList<ChannelEntry> parseChannelList(const QByteArray& bytes);

// Fills `canales` and `channel_data` from the list file at `path`. Afterwards `channel_data`
// holds one element more than `canales` has items, the last one empty. A missing file leaves
// `canales` as it was; a file that cannot be read leaves it empty.
void loadChannelList(const QString& path, QListWidget& canales, QStringList& channel_data);

// Replaces the items of `canales` and `channel_data` with the list file at `path` while a window
// shows them: the selected channel stays selected, found by its name (it may have moved, or its
// bytes changed with the list's encoding), at the same height in the list; when the new list has
// no such name nothing is selected. A file that cannot be read changes nothing: the list on screen
// is better than none. The new row of the selected channel, or -1.
int reloadChannelList(const QString& path, QListWidget& canales, QStringList& channel_data);

// The original bytes of an item's name (its text as UTF-8 for items added by other means).
QByteArray nameBytesOf(const QListWidgetItem& item);

} // namespace catalogue
