// ProgramFolder: where config.ini, the list files and the update script live. A program run from
// its own writable folder (a build, a copy unpacked in the user's home) keeps them beside itself;
// an installed program, whose files belong to the system, keeps them in one per-user folder that
// its first start fills with the installed lists, as an install would. GUI thread only.
#pragma once

#include <QString>
#include <QStringList>

class ProgramFolder {
public:
    // The folder for the program in `executableDir`; `dataHome` is the user's data folder
    // ($XDG_DATA_HOME or ~/.local/share).
    static ProgramFolder choose(const QString& executableDir, const QString& dataHome);
    // The same for this process.
    static ProgramFolder forThisProgram();

    const QString& path() const { return m_path; }
    // The program is an installed one: its own files are never written at run time.
    bool installed() const { return m_installed; }
    // The installed program's read-only data (lists, demo media); empty for an uninstalled one.
    const QString& dataDir() const { return m_dataDir; }
    // Where the program's own modules and helper programs are: beside it, or the installed ones.
    const QString& libraryDir() const { return m_libraryDir; }

    // Creates the per-user folder and puts in the installed lists (`listFiles`, by file name) that
    // are missing, with their version when config.ini has none. Lists and settings already there
    // are the user's and are kept. Nothing to do for an uninstalled program. False when the folder
    // cannot be made.
    bool prepare(const QStringList& listFiles) const;

private:
    QString m_path;
    QString m_dataDir;
    QString m_libraryDir;
    bool m_installed = false;
};
