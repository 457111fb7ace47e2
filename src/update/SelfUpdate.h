// SelfUpdate: the program's self-update, the window captioned "Form1" with "Obteniendo actualización
// del servidor..." above a progress bar. It has `ProgramDownload` download the new executable under a
// temporary name in the program folder, writes the script that swaps it in once this program has
// ended, tells the user, and starts the script. Nothing is replaced unless the download was
// complete and the script could be written and started. An installed program, which the system's
// package manager owns, is never replaced: the user is sent to the download page instead. GUI
// thread only.
#pragma once

#include "base/Forms.h"

#include <QString>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class Timer;

class SelfUpdate : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "SelfUpdate";
    // In the program folder: the new executable until the script moves it, and the script.
    static constexpr const char* kDownloadName = "sintonextemp";
    static constexpr const char* kScriptName = "completa_actualizacion.sh";
    explicit SelfUpdate(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;

    // The executable to replace and the process to end: this program's own unless a test points
    // them at a stand-in. Set before the script is written.
    void setProgram(const QString& executable, qint64 pid);
    QString executable() const { return m_executable; }

    QString downloadFile() const;
    QString scriptFile() const;

private:
    void writeScriptTimer_Timer();
    void runScriptTimer_Timer();
    void giveUp();

    QLabel* m_statusLabel;
    QProgressBar* m_progreso;
    QPlainTextEdit* m_bat;
    Timer* m_writeScriptTimer; // once the download is complete
    Timer* m_runScriptTimer;   // tells the user and hands over to the script
    QString m_executable;
    qint64 m_pid;
    bool m_scriptWritten = false;
    bool m_scriptStarted = false;
};
