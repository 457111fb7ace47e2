// ChannelSourcesWindow: "Mis listas de canales", where the user sees and changes the sources the
// program's own service builds the channel lists from: their playlists by address or as a file,
// and the default sources on or off. It edits fuentes.txt in the program folder (nothing is
// written before "Aceptar") and follows the service's status file to show each source's state
// and the progress of a reading. Where the lists come from another service it only says so.
// GUI thread only.
#pragma once

#include "SourceReport.h"
#include "base/Forms.h"
#include "base/SourcesFile.h"

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class Timer;

class ChannelSourcesWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "ChannelSourcesWindow";
    explicit ChannelSourcesWindow(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;

private:
    struct Row {
        int source = -1; // index into the file's sources; -1 for a default source
    };

    void browseButton_Click();
    void addButton_Click();
    void removeButton_Click();
    void acceptButton_Click();
    void reportTimer_Timer();
    void showRows();
    void showUnknownLines();
    void showReading();
    QString filePath() const;
    QString statusPath() const;

    QLabel* m_introLabel;
    QTreeWidget* m_sourcesTree; // "Lista", "Dirección o fichero", "Estado"
    QComboBox* m_kindBox;       // "Televisión", "Radio"
    QLineEdit* m_addressField;
    QPushButton* m_browseButton; // "Examinar…"
    QPushButton* m_addButton;    // "Añadir"
    QPushButton* m_removeButton; // "Quitar"
    QCheckBox* m_defaultsBox;    // "Usar las fuentes predeterminadas"
    QLabel* m_unknownLabel;      // lines of fuentes.txt the program does not understand
    QLabel* m_noticeLabel;
    QProgressBar* m_progressBar;
    QPushButton* m_acceptButton; // "Aceptar"
    QPushButton* m_closeButton;  // "Cerrar"
    Timer* m_reportTimer;        // reads the service's report while the window is loaded

    sourcesfile::SourcesFile m_file;  // as edited
    sourcesfile::SourcesFile m_saved; // as on disk
    QList<Row> m_rows;
    std::optional<SourceReport> m_report;
    // After "Aceptar": the report seen before the file was written, and what was written.
    bool m_waiting = false;
    std::optional<SourceReport> m_before;
    QString m_fingerprint;
    int m_ticksWaited = 0;
};
