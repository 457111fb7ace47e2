// The script that completes a program update once the running program has ended: the program
// cannot replace its own executable while it is still the one being run and cleaned up.
#pragma once

#include <QByteArray>
#include <QString>

namespace update {

struct ScriptPlan {
    qint64 pid = 0;     // the running program's process, and no other, is ended
    QString executable; // replaced, under the same name
    QString download;   // the new executable, moved over `executable`
    QString script;     // the script's own file, removed last
};

// A POSIX sh script; every path is quoted, so any file name is taken literally.
QByteArray completionScript(const ScriptPlan& plan);

// `text` as one sh word that the shell reads back unchanged.
QByteArray shellQuote(const QByteArray& text);

} // namespace update
