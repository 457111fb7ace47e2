#include "SongTags.h"

#include <QFile>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/tpropertymap.h>

namespace songtags {

namespace {

TagLib::String tl(const QString& s) {
    return TagLib::String(s.toUtf8().toStdString(), TagLib::String::UTF8);
}

TagLib::PropertyMap properties(const Song& song) {
    TagLib::PropertyMap map;
    if (!song.artist.isEmpty())
        map.replace("ARTIST", TagLib::StringList(tl(song.artist)));
    map.replace("TITLE", TagLib::StringList(tl(song.title)));
    if (!song.station.isEmpty())
        map.replace("ALBUM", TagLib::StringList(tl(song.station)));
    if (song.date.isValid())
        map.replace("DATE", TagLib::StringList(tl(song.date.toString(Qt::ISODate))));
    return map;
}

} // namespace

bool tagInFront(const QString& extension) {
    return extension.compare(QLatin1String(".mp3"), Qt::CaseInsensitive) == 0 ||
           extension.compare(QLatin1String(".aac"), Qt::CaseInsensitive) == 0;
}

QByteArray id3v2(const Song& song) {
    TagLib::ID3v2::Tag tag;
    tag.setProperties(properties(song));
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v3);
    return QByteArray(bytes.data(), int(bytes.size()));
}

bool writeInto(const QString& path, const Song& song) {
    TagLib::FileRef file(QFile::encodeName(path).constData(), false);
    if (file.isNull() || !file.file()->isValid())
        return false;
    file.file()->setProperties(properties(song));
    return file.save();
}

} // namespace songtags
