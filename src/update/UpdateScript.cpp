#include "UpdateScript.h"

#include <QFile>

namespace update {

QByteArray shellQuote(const QByteArray& text) {
    QByteArray quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// A Windows batch file ended every process of the program's image name, repeated each command to
// outlast the file lock of the ending process and worked with bare names in the current folder.
// Here the script ends this run's own process by its id and waits for it to be gone (a process
// that has ended but was not yet collected by its parent counts as gone), uses absolute paths in
// the program folder, and only removes the old executable once the new one is there to take its
// place. The new file already carries the executable bits, which the move keeps.
QByteArray completionScript(const ScriptPlan& plan) {
    QByteArray s;
    s += "#!/bin/sh\n";
    s += "# Completes the update of Sintonex once the running program has ended.\n";
    s += "pid=" + QByteArray::number(plan.pid) + "\n";
    s += "programa=" + shellQuote(QFile::encodeName(plan.executable)) + "\n";
    s += "nuevo=" + shellQuote(QFile::encodeName(plan.download)) + "\n";
    s += "guion=" + shellQuote(QFile::encodeName(plan.script)) + "\n";
    // "kill 0" and "kill -1" reach whole groups of processes: only a real process id goes on.
    s += "case \"$pid\" in ''|*[!0-9]*|0|1) exit 1 ;; esac\n";
    s += "\n"
         "running() {\n"
         "    kill -0 \"$pid\" 2>/dev/null || return 1\n"
         "    state=$(sed -n 's/^.*) \\(.\\).*$/\\1/p' \"/proc/$pid/stat\" 2>/dev/null)\n"
         "    [ \"$state\" != Z ]\n"
         "}\n"
         "\n"
         "kill -TERM \"$pid\" 2>/dev/null\n"
         "waited=0\n"
         "while running && [ \"$waited\" -lt 60 ]; do\n"
         "    if [ \"$waited\" -eq 5 ]; then\n"
         "        kill -KILL \"$pid\" 2>/dev/null\n"
         "    fi\n"
         "    sleep 1\n"
         "    waited=$((waited + 1))\n"
         "done\n"
         "\n"
         "if [ -f \"$nuevo\" ]; then\n"
         "    rm -f -- \"$programa\"\n"
         "    mv -f -- \"$nuevo\" \"$programa\"\n"
         "fi\n"
         "rm -f -- \"$guion\"\n";
    return s;
}

} // namespace update
