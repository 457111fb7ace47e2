#include "ChildProcess.h"

#include <QFile>
#include <sys/prctl.h>
#include <unistd.h>

std::function<void()> endsWithThisProcess(int signal) {
    return endsWithParent(signal, getpid());
}

std::function<void()> endsWithParent(int signal, qint64 parentPid) {
    return [signal, parentPid] {
        // Runs in the child between fork and exec: only async-signal-safe calls.
        prctl(PR_SET_PDEATHSIG, signal);
        if (getppid() != static_cast<pid_t>(parentPid))
            _exit(127);
    };
}

bool processRuns(qint64 pid) {
    if (pid <= 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (name) S ...": the state follows the last ')', as the name may hold one.
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line[close + 2] != 'Z' && line[close + 2] != 'X';
}
