// ChildProcess: helpers for the processes the program starts. GUI thread only.
#pragma once

#include <QtGlobal>
#include <functional>

// A QProcess child-process modifier that ties the child to this process: it gets `signal` when
// this process ends, however it ends. The kernel sends that signal when the thread that started
// the child ends, so start it from the GUI thread. A parent already gone before the signal is armed
// would never send it: the child then does not run at all (exit code 127).
std::function<void()> endsWithThisProcess(int signal);
// The same for a given parent process id (a test can name one that has already ended).
std::function<void()> endsWithParent(int signal, qint64 parentPid);

// Whether a process of that id runs: it exists and has not ended (a zombie waiting for its parent
// to collect it has ended).
bool processRuns(qint64 pid);
