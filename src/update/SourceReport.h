// SourceReport: the program's reading of what its bundled service says about the channel sources
// (the status file beside fuentes.txt, written by the service after every change), and the words
// the "Mis listas de canales" window shows for each source. GUI thread only.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

struct SourceReport {
    struct Source {
        bool radio = false;
        bool guide = false; // a programme guide ("guia" line), not a channel list
        QString address;
        bool isDefault = false; // one of the build's default sources, not the user's
        int line = 0;           // in fuentes.txt (0 for the others)
        enum class Phase { Waiting, Reading, Read, Failed } phase = Phase::Waiting;
        int channels = 0;
        QDateTime readAt; // invalid: never read well
        bool fromCopy = false;
        QString problem; // in Spanish, "" when the last attempt did not fail
    };
    struct UnknownLine {
        int line = 0;
        QString text;
    };

    qint64 pid = 0;
    int round = 0;
    bool reading = false;
    QString sourcesFile;        // fingerprint of the fuentes.txt the service read last
    QString sourcesFileProblem; // why it could not read fuentes.txt, in Spanish ("" when it could)
    bool defaultsOn = true;
    QString listVersion;
    bool demoTv = false, demoRadio = false;
    QList<UnknownLine> unknownLines;
    QList<Source> sources;

    // Whether the service has finished reading the fuentes.txt whose bytes have `fingerprint`, in a
    // round later than `before` (the report seen before the file was written; null: none).
    bool hasRead(const QString& fingerprint, const std::optional<SourceReport>& before) const;
};

// Null when the file is missing or is not such a report.
std::optional<SourceReport> readSourceReport(const QString& path);

// "412 canales, leída a las 21:05", "no se pudo leer: no existe el fichero", ...; `now` tells
// today from another day.
QString stateText(const SourceReport::Source& source, const QDateTime& now);
