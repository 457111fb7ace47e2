#include "RawHttp.h"

bool RawHttp::open(int port, const QByteArray& target, const QList<QByteArray>& extraHeaders, int ms) {
    sinceOpen.start();
    m_socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    if (!m_socket.waitForConnected(ms))
        return false;
    QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                         "\r\nConnection: close\r\n";
    for (const QByteArray& h : extraHeaders)
        request += h + "\r\n";
    m_socket.write(request + "\r\n");
    QByteArray head;
    while (!head.contains("\r\n\r\n")) {
        if (!m_socket.waitForReadyRead(ms))
            return false;
        head += m_socket.readAll();
    }
    const qsizetype end = head.indexOf("\r\n\r\n");
    m_pending = head.mid(end + 4);
    const QList<QByteArray> lines = head.left(end).split('\n');
    const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
    status = statusLine.value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    return status > 0;
}

QByteArray RawHttp::read(qsizetype bytes, int ms) {
    QElapsedTimer t;
    t.start();
    QByteArray out = m_pending.left(bytes);
    m_pending.remove(0, out.size());
    while (out.size() < bytes && t.elapsed() < ms) {
        if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(static_cast<int>(ms - t.elapsed())))
            if (m_socket.state() != QAbstractSocket::ConnectedState || m_socket.bytesAvailable() == 0)
                break;
        out += m_socket.read(bytes - out.size());
    }
    return out;
}

IcyParts splitIcy(const QByteArray& body, qsizetype metaint) {
    IcyParts parts;
    qsizetype i = 0;
    while (i < body.size()) {
        const qsizetype n = std::min(metaint, body.size() - i);
        parts.audio += body.mid(i, n);
        i += n;
        if (n < metaint || i >= body.size())
            break;
        const qsizetype length = static_cast<unsigned char>(body[i]) * 16;
        const QByteArray block = body.mid(i + 1, length);
        i += 1 + length;
        if (length == 0)
            continue;
        const qsizetype start = block.indexOf("StreamTitle='");
        const qsizetype stop = block.indexOf("';", start);
        if (start >= 0 && stop > start) {
            parts.titles.append(block.mid(start + 13, stop - start - 13));
            parts.titleOffsets.append(parts.audio.size());
        }
    }
    return parts;
}
