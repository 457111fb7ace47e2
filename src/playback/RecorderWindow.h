// RecorderWindow: the recorder, the window captioned "Grabadora Sintonex". It fetches the stream the
// player is playing with its own request and writes the bytes to a file, showing elapsed time and
// size; for a radio station it can write one file per song instead ("Separar por canciones"). "Parar"
// ends the whole program; the close box only cancels. GUI thread only.
#pragma once

#include "base/Forms.h"
#include "playback/Recorder.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class Timer;

class RecorderWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "RecorderWindow";

    explicit RecorderWindow(Forms& forms);
    ~RecorderWindow() override;

    // What the TV and radio windows' "&Grabar" does once it has the player's source address:
    // the extension (".asf" or ".mp3") into extensionLabel, the recorder shown without waiting, then the
    // address into `url`.
    // `station`: the radio's channel, whose songs "Separar por canciones" files under its name;
    // "" (TV) offers no splitting.
    static void open(Forms& forms, const QString& extension, const QString& sourceUrl,
                     const QString& station = {});

    // extensionLabel: the extension the opener sets; the target path follows it.
    void setExtension(const QString& extension);
    // The folder offered when none is stored: the user's music folder for sound, videos folder
    // otherwise (home when the desktop names none), ending in "/".
    static QString defaultFolder(const QString& extension);
    // Where recordings go: the stored "grabadora" when one is set, else defaultFolder().
    static QString recordingsFolder(const Settings& settings, const QString& extension);
    QString extension() const;

    void Form_Load() override;
    void Form_Unload() override;

    void changeFolderButton_Click(); // "Cambiar"
    void recordButton_Click();       // "Grabar"
    void stopButton_Click();         // "Parar"
    void sizeTimer_Timer();          // size display
    void elapsedTimer_Timer();       // elapsed time

    QLabel* titleLabel;           // "Grabadora Sintonex  Versión 0.0.1"
    QLabel* noticeLabel;          // what the recorder does, and that it is a beta
    QGroupBox* settingsFrame;     // "Configuración"
    QLineEdit* folderField;       // destination folder (hidden)
    QLineEdit* fileNameField;     // file name without extension
    QLineEdit* fileNameCopyField; // copy of fileNameField (hidden)
    QLineEdit* pathField;         // full target path (read-only)
    QPushButton* changeFolderButton;
    QPushButton* recordButton;
    QPushButton* stopButton;
    QLabel* elapsedLabel; // elapsed time
    QLabel* sizeLabel;    // size in MB
    QLabel* unitLabel;    // "MB"
    QLineEdit* url;       // stream address (hidden)
    Timer* sizeTimer;
    Timer* elapsedTimer;
    Recorder* recorder;

    // One file per song, for a radio station.
    QCheckBox* splitSongs;   // "Separar por canciones"
    QSpinBox* cutOffset;     // seconds every cut moves
    QSpinBox* minimumLength; // seconds a song needs to be kept
    QLabel* songLabel;       // "Canción: " and the title playing
    QLabel* keptLabel;       // "Canciones guardadas: " and how many

private:
    // The target path from folder, name and extension, worked out again whenever one of them changes.
    void refreshPath();
    void recorder_Ended(qint64 bytes);
    void reportError(const Recorder::Error& e, const QString& descriptionPrefix);
    static bool hasStoredFolder(const Settings& settings);
    void setStation(const QString& station);
    void loadSongSettings();
    void storeSongSettings();
    bool splitting() const;
    QString stationFolder() const;
    void recorder_RecordedWhole(bool titlesSent);

    QLabel* extensionLabel;
    QString m_station;
    QString m_singlePath; // the one file a split recording falls back to
    QList<QWidget*> m_songControls;
    int rec_seconds = 0;
    int rec_minutes = 0;
    int rec_hours = 0;
    qint64 recorded_size = 0;
};
