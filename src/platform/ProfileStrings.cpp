#include "ProfileStrings.h"

#include "Text.h"

#include <QFile>
#include <QList>
#include <QSaveFile>
#include <algorithm>

namespace profile {
namespace {

struct Lines {
    QList<QByteArray> lines; // without their line ends
    QByteArray eol = "\n";
    bool utf8 = true;
    bool endsWithEol = true;
};

Lines load(const QString& path, bool* exists = nullptr) {
    Lines l;
    QFile f(path);
    if (exists)
        *exists = f.exists();
    if (!f.open(QIODevice::ReadOnly))
        return l;
    QByteArray all = f.readAll();
    if (all.startsWith("\xEF\xBB\xBF"))
        all.remove(0, 3);
    l.utf8 = text::isValidUtf8(all);
    if (all.contains("\r\n"))
        l.eol = "\r\n";
    l.endsWithEol = all.isEmpty() || all.endsWith('\n') || all.endsWith('\r');
    // CR LF, a lone CR and a lone LF all end a line.
    QByteArray cur;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const char c = all[i];
        if (c == '\r' || c == '\n') {
            l.lines.append(cur);
            cur.clear();
            if (c == '\r' && i + 1 < all.size() && all[i + 1] == '\n')
                ++i;
        } else {
            cur.append(c);
        }
    }
    if (!cur.isEmpty())
        l.lines.append(cur);
    return l;
}

QString decode(const Lines& l, const QByteArray& b) {
    return l.utf8 ? QString::fromUtf8(b) : text::decodeWindows1252(b);
}

// The section name of a header line, or a null string when the line is not a header.
QString sectionOf(const Lines& l, const QByteArray& line) {
    const QByteArray t = line.trimmed();
    if (!t.startsWith('['))
        return {};
    const qsizetype close = t.indexOf(']');
    if (close < 0)
        return {};
    QString name = decode(l, t.mid(1, close - 1)).trimmed();
    return name.isNull() ? QString("") : name;
}

bool keyOf(const Lines& l, const QByteArray& line, QString& key, QString& value) {
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return false;
    const QByteArray t = line.trimmed();
    if (t.startsWith(';'))
        return false;
    key = decode(l, line.left(eq)).trimmed();
    value = decode(l, line.mid(eq + 1)).trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return true;
}

bool fitsWindows1252(const QString& s) {
    return text::decodeWindows1252(text::encodeStored(s, false)) == s;
}

bool same(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The whole file replaced at once: a crash leaves the old file or the new one, never half of it.
bool save(const QString& path, const Lines& l) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray data;
    for (const QByteArray& line : l.lines)
        data += line + l.eol;
    if (out.write(data) != data.size())
        return false;
    return out.commit();
}

// A value as one line: a line break inside it would end the line and could forge further keys.
QString flatten(QString value) {
    return value.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace('\r', ' ').replace('\n', ' ');
}

} // namespace

QString read(const QString& path, const QString& section, const QString& key) {
    for (const auto& [k, v] : readSection(path, section))
        if (same(k, key.trimmed()))
            return v;
    return {};
}

bool write(const QString& path, const QString& section, const QString& key, const QString& value) {
    bool exists = false;
    Lines l = load(path, &exists);
    if (exists && !QFile(path).open(QIODevice::ReadOnly))
        return false; // unreadable: rewriting it would lose what it holds
    bool utf8 = l.utf8 || !exists;
    const QString newText = key.trimmed() + "=" + flatten(value);
    const QString header = "[" + section.trimmed() + "]";
    if (!utf8 && !(fitsWindows1252(newText) && fitsWindows1252(header))) {
        // One UTF-8 line in a Windows-1252 file would make the whole file read as garbage: the
        // file moves to UTF-8, every line with it.
        for (QByteArray& line : l.lines)
            line = text::decodeWindows1252(line).toUtf8();
        utf8 = true;
    }
    const QByteArray newLine = text::encodeStored(newText, utf8);

    qsizetype sectionStart = -1, lastInSection = -1;
    bool inSection = false;
    bool done = false;
    for (qsizetype i = 0; i < l.lines.size() && !done; ++i) {
        const QString s = sectionOf(l, l.lines[i]);
        if (!s.isNull()) {
            if (inSection)
                break; // the section ended without the key
            inSection = same(s, section.trimmed());
            if (inSection)
                sectionStart = lastInSection = i;
            continue;
        }
        if (!inSection)
            continue;
        if (!l.lines[i].trimmed().isEmpty())
            lastInSection = i;
        QString k, v;
        if (keyOf(l, l.lines[i], k, v) && same(k, key.trimmed())) {
            l.lines[i] = newLine;
            done = true;
        }
    }
    if (!done) {
        if (sectionStart >= 0) {
            l.lines.insert(lastInSection + 1, newLine);
        } else {
            if (!l.lines.isEmpty() && !l.lines.last().trimmed().isEmpty())
                l.lines.append(QByteArray());
            l.lines.append(text::encodeStored(header, utf8));
            l.lines.append(newLine);
        }
    }
    return save(path, l);
}

QStringList sections(const QString& path) {
    const Lines l = load(path);
    QStringList out;
    for (const QByteArray& line : l.lines) {
        const QString s = sectionOf(l, line);
        if (!s.isNull() && !out.contains(s, Qt::CaseInsensitive))
            out.append(s);
    }
    return out;
}

Keys readSection(const QString& path, const QString& section) {
    const Lines l = load(path);
    Keys out;
    bool inSection = false;
    for (const QByteArray& line : l.lines) {
        const QString s = sectionOf(l, line);
        if (!s.isNull()) {
            inSection = same(s, section.trimmed());
            continue;
        }
        QString k, v;
        if (inSection && keyOf(l, line, k, v))
            out.append({k, v});
    }
    return out;
}

bool writeSection(const QString& path, const QString& section, const Keys& keys) {
    bool exists = false;
    Lines l = load(path, &exists);
    if (exists && !QFile(path).open(QIODevice::ReadOnly))
        return false; // unreadable: rewriting it would lose what it holds
    QList<QString> texts{"[" + section.trimmed() + "]"};
    for (const auto& [key, value] : keys)
        texts.append(key.trimmed() + "=" + flatten(value));
    bool utf8 = l.utf8 || !exists;
    if (!utf8 && !std::all_of(texts.begin(), texts.end(), fitsWindows1252)) {
        for (QByteArray& line : l.lines)
            line = text::decodeWindows1252(line).toUtf8();
        utf8 = true;
    }
    // Every copy of the section goes; the new one takes the first one's place.
    QList<QByteArray> kept;
    qsizetype place = -1;
    bool inSection = false;
    for (const QByteArray& line : l.lines) {
        const QString s = sectionOf(l, line);
        if (!s.isNull())
            inSection = same(s, section.trimmed());
        if (!inSection) {
            kept.append(line);
            continue;
        }
        if (place < 0)
            place = kept.size();
    }
    QList<QByteArray> block;
    if (!keys.isEmpty())
        for (const QString& t : texts)
            block.append(text::encodeStored(t, utf8));
    if (place < 0) {
        if (!block.isEmpty() && !kept.isEmpty() && !kept.last().trimmed().isEmpty())
            kept.append(QByteArray());
        place = kept.size();
    } else if (!block.isEmpty()) {
        block.append(QByteArray()); // the blank line that separated it from the next section
    }
    for (qsizetype i = 0; i < block.size(); ++i)
        kept.insert(place + i, block[i]);
    // A removed section leaves no run of blank lines behind.
    for (qsizetype i = kept.size() - 1; i > 0; --i)
        if (kept[i].trimmed().isEmpty() && kept[i - 1].trimmed().isEmpty())
            kept.removeAt(i);
    l.lines = kept;
    return save(path, l);
}

} // namespace profile
