#include "SongFiles.h"

#include "SongTags.h"
#include "base/SongHistory.h"
#include "platform/IcyTitle.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

// Windows and FAT refuse these in names, and music files travel to phones and other computers.
const QString kForbidden = QStringLiteral("/\\:*?\"<>|");
const QRegularExpression kDeviceName(QStringLiteral("^(con|prn|aux|nul|com[1-9]|lpt[1-9])(\\..*)?$"),
                                     QRegularExpression::CaseInsensitiveOption);

} // namespace

SongFiles::SongFiles(Options options) : m_o(std::move(options)) {
    const int offset = std::clamp(m_o.offsetMs, -kMaxOffsetMs, kMaxOffsetMs);
    m_offsetBytes = qint64(offset) * m_o.bytesPerSecond / 1000;
    if (m_offsetBytes < 0)
        m_ring.resize(size_t(-m_offsetBytes));
}

SongFiles::~SongFiles() {
    close(m_current, false);
}

QString SongFiles::safeName(const QString& text, const QString& whenEmpty) {
    QString s;
    s.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || kForbidden.contains(c))
            s.append(QLatin1Char('_'));
        else
            s.append(c);
    }
    s = s.simplified();
    while (s.startsWith(QLatin1Char('.')))
        s.remove(0, 1); // a leading dot hides the file
    // At most kMaxNameBytes of UTF-8, never splitting a character: room for " (99)", the extension
    // and the file system's 255 bytes.
    while (s.toUtf8().size() > kMaxNameBytes) {
        s.chop(1);
        if (!s.isEmpty() && s.back().isHighSurrogate())
            s.chop(1);
    }
    while (!s.isEmpty() && (s.back() == QLatin1Char('.') || s.back() == QLatin1Char(' ')))
        s.chop(1);
    if (kDeviceName.match(s).hasMatch())
        s.append(QLatin1Char('_'));
    return s.isEmpty() ? whenEmpty : s;
}

bool SongFiles::isSong(const QString& title) const {
    return SongHistory::isSong(title, m_o.notSongs);
}

qint64 SongFiles::msOf(qint64 bytes) const {
    return m_o.bytesPerSecond > 0 ? bytes * 1000 / m_o.bytesPerSecond : 0;
}

bool SongFiles::currentIsKeepable() const {
    return !m_current.joined && isSong(m_current.title);
}

bool SongFiles::audio(const char* data, qint64 n) {
    if (m_error.number || n <= 0)
        return m_error.number == 0;
    m_received += n;
    return m_ring.empty() ? pass(data, n) : delay(data, n);
}

// The delay line: what is older than the ring holds goes out, the newest stays.
bool SongFiles::delay(const char* data, qint64 n) {
    const qint64 cap = qint64(m_ring.size());
    // First the oldest held bytes...
    if (!passHeld(std::min(std::max<qint64>(0, m_ringSize + n - cap), m_ringSize)))
        return false;
    // ...then those of the new ones that the ring cannot hold...
    const qint64 direct = std::max<qint64>(0, n - cap);
    if (direct > 0 && !pass(data, direct))
        return false;
    data += direct;
    n -= direct;
    // ...and the rest stay.
    for (qint64 k = 0; k < n;) {
        const qint64 end = (m_ringStart + m_ringSize) % cap;
        const qint64 run = std::min(n - k, cap - end);
        std::copy_n(data + k, run, m_ring.data() + end);
        m_ringSize += run;
        k += run;
    }
    return true;
}

// The oldest `bytes` of the delay line go out.
bool SongFiles::passHeld(qint64 bytes) {
    const qint64 cap = qint64(m_ring.size());
    while (bytes > 0) {
        const qint64 run = std::min(bytes, cap - m_ringStart);
        if (!pass(m_ring.data() + m_ringStart, run))
            return false;
        m_ringStart = (m_ringStart + run) % cap;
        m_ringSize -= run;
        bytes -= run;
    }
    return true;
}

bool SongFiles::drainDelay() {
    if (!passHeld(m_ringSize))
        return false;
    m_ringStart = 0;
    return true;
}

// Audio out of the delay line: into the song it belongs to, cut where a change falls.
bool SongFiles::pass(const char* data, qint64 n) {
    while (true) {
        while (!m_cuts.empty() && m_cuts.front().at <= m_passed) {
            const Cut cut = m_cuts.front();
            m_cuts.pop_front();
            if (!cutHere(cut.title))
                return false;
        }
        if (n <= 0)
            return true;
        qint64 run = n;
        if (!m_cuts.empty())
            run = std::min(run, m_cuts.front().at - m_passed);
        if (m_current.fd >= 0 && !writeAll(m_current.fd, data, run))
            return false;
        m_current.bytes += run;
        m_passed += run;
        data += run;
        n -= run;
    }
}

bool SongFiles::title(const QString& title) {
    if (m_error.number)
        return false;
    if (!m_titled) {
        // The first title of a connection names the song it joined in the middle.
        m_titled = true;
        m_lastTitle = title;
        if (m_cuts.empty())
            m_current.title = title;
        return true;
    }
    if (title == m_lastTitle)
        return true;
    m_lastTitle = title;
    // Where the station said it changed, moved by the offset; never before what has already gone
    // out of the delay line, nor before an earlier change.
    qint64 at = std::max(m_received + m_offsetBytes, m_passed);
    if (!m_cuts.empty())
        at = std::max(at, m_cuts.back().at);
    m_cuts.push_back({at, title});
    return pass(nullptr, 0);
}

bool SongFiles::broken() {
    if (m_error.number)
        return false;
    // What arrived before the drop belongs to the songs it was sent for, cuts included; the rest of
    // those changes never came.
    if (!drainDelay())
        return false;
    m_cuts.clear();
    if (!close(m_current, false))
        return false;
    m_current = Segment();
    m_current.from = m_passed;
    m_titled = false;
    m_lastTitle.clear();
    return true;
}

bool SongFiles::finish(bool keepCurrent) {
    if (m_error.number)
        return false;
    if (!drainDelay())
        return false;
    m_cuts.clear(); // changes placed after the end never began
    const bool keep = keepCurrent && currentIsKeepable() && m_current.bytes > 0;
    const bool ok = close(m_current, keep);
    m_current = Segment();
    return ok;
}

bool SongFiles::cutHere(const QString& nextTitle) {
    const bool keep = !m_current.joined && isSong(m_current.title) && msOf(m_current.bytes) >= m_o.minimumMs;
    if (!close(m_current, keep))
        return false;
    m_current = Segment();
    m_current.title = nextTitle;
    m_current.joined = false;
    m_current.from = m_passed;
    // Only what may be kept is written; the rest (the station's name, empty titles) goes.
    return !isSong(nextTitle) || open(m_current);
}

bool SongFiles::open(Segment& s) {
    if (!QDir().mkpath(m_o.folder))
        return fail(errno ? errno : EACCES);
    // A hidden name of its own, with the extension that tells TagLib the kind of file; created with
    // the permissions any new file of the user gets.
    int fd = -1;
    QString part;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        part = QDir(m_o.folder)
                   .filePath(QStringLiteral(".grabando-%1")
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')) +
                             m_o.extension);
        fd = ::open(QFile::encodeName(part).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return fail(errno);
    }
    if (fd < 0)
        return fail(EEXIST);
    s.fd = fd;
    s.partPath = part;
    if (songtags::tagInFront(m_o.extension)) {
        const icy::SongTitle t = icy::splitTitle(s.title);
        const QByteArray tag = songtags::id3v2({t.artist, t.title, m_o.station, m_o.date});
        if (!writeAll(fd, tag.constData(), tag.size()))
            return false;
    }
    return true;
}

bool SongFiles::close(Segment& s, bool keep) {
    if (s.fd < 0)
        return true;
    const int fd = std::exchange(s.fd, -1);
    // Kept songs are on the disk before they get their name; a song the program did not finish
    // stays a hidden part file, never a whole-looking one.
    const bool synced = !keep || ::fdatasync(fd) == 0;
    const int syncErr = errno;
    ::close(fd);
    const QByteArray part = QFile::encodeName(s.partPath);
    if (!keep || !synced) {
        ::unlink(part.constData());
        return synced || fail(syncErr);
    }
    const icy::SongTitle t = icy::splitTitle(s.title);
    if (!songtags::tagInFront(m_o.extension))
        songtags::writeInto(s.partPath, {t.artist, t.title, m_o.station, m_o.date});
    const QString stem = safeName(t.artist.isEmpty() ? t.title : t.artist + QStringLiteral(" - ") + t.title);
    for (int n = 1; n < 10000; ++n) {
        const QString name = n == 1 ? stem : stem + QStringLiteral(" (%1)").arg(n);
        const QString path = QDir(m_o.folder).filePath(name + m_o.extension);
        // Never over a file already there, from this recording or any other.
        if (::renameat2(AT_FDCWD, part.constData(), AT_FDCWD, QFile::encodeName(path).constData(),
                        RENAME_NOREPLACE) == 0) {
            m_kept.append({path, t.artist, t.title, s.from, s.bytes});
            return true;
        }
        if (errno != EEXIST) {
            const int e = errno;
            ::unlink(part.constData());
            return fail(e);
        }
    }
    ::unlink(part.constData());
    return fail(EEXIST);
}

bool SongFiles::writeAll(int fd, const char* data, qint64 n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, size_t(n));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        data += w;
        n -= w;
    }
    return true;
}

bool SongFiles::fail(int number) {
    if (!m_error.number)
        m_error = {number, qt_error_string(number)};
    return false;
}
