// Processes the program starts that must not outlive it.
#include "platform/ChildProcess.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Whether `sh -c 'touch MARK'` ran under the modifier.
bool ranWith(const std::function<void()>& modifier, const QString& mark) {
    QProcess child;
    child.setChildProcessModifier(modifier);
    child.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("touch '%1'").arg(mark)});
    child.waitForFinished(5000);
    return QFileInfo::exists(mark);
}

} // namespace

// The parent-death signal is armed in the child: a parent already gone by then would never send
// it, and the child would run on unowned.
TEST(ChildProcess, AChildWhoseParentHasAlreadyEndedDoesNotRun) {
    QTemporaryDir dir;
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    ASSERT_GT(gone, 0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    EXPECT_FALSE(ranWith(endsWithParent(SIGKILL, gone), dir.filePath("huerfano")));
    EXPECT_TRUE(ranWith(endsWithThisProcess(SIGKILL), dir.filePath("hijo")));
}

// A process that has ended but was not collected yet (a zombie) no longer runs.
TEST(ChildProcess, AnEndedProcessNoLongerRunsBeforeItIsCollected) {
    const pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(child, 0);
    EXPECT_TRUE(processRuns(child));
    kill(child, SIGKILL);
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, id_t(child), &info, WEXITED | WNOWAIT), 0); // ended, still a zombie
    EXPECT_FALSE(processRuns(child));
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(processRuns(child));
    EXPECT_FALSE(processRuns(0));
}
