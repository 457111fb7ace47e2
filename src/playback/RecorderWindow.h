// RecorderWindow: the recorder window ("Grabadora Sintonex"). It fetches the stream the player is
// playing with its own request and writes the bytes to a file, showing elapsed time and size.
// "Parar" ends the whole program; the close box only cancels. GUI thread only.
#pragma once

#include "base/Forms.h"
#include "playback/Recorder.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class Timer;

class RecorderWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "RecorderWindow";

    explicit RecorderWindow(Forms& forms);
    ~RecorderWindow() override;

    // What the TV and radio windows' "&Grabar" does once it has the player's source address:
    // the extension (".asf" or ".mp3") into Label7, the recorder shown without waiting, then the
    // address into `url`.
    static void open(Forms& forms, const QString& extension, const QString& sourceUrl);

    // Label7: the extension the opener sets; the target path follows it.
    void setExtension(const QString& extension);
    // The folder offered when none is stored: the user's music folder for sound, videos folder
    // otherwise (home when the desktop names none), ending in "/".
    static QString defaultFolder(const QString& extension);
    QString extension() const;

    void Form_Load() override;
    void Form_Unload() override;

    void Command3_Click(); // "Cambiar"
    void Command2_Click(); // "Grabar"
    void Command1_Click(); // "Parar"
    void Timer1_Timer();   // size display
    void Timer12_Timer();  // elapsed time

    QLabel* Label2;
    QLabel* Label9;
    QGroupBox* Frame1;
    QLineEdit* Text4; // destination folder (hidden)
    QLineEdit* Text2; // file name without extension
    QLineEdit* Text3; // copy of Text2 (hidden)
    QLineEdit* Text1; // full target path (read-only)
    QPushButton* Command3;
    QPushButton* Command2;
    QPushButton* Command1;
    QLabel* Label12; // elapsed time
    QLabel* Label1;  // size in MB
    QLabel* Label8;  // "MB"
    QLineEdit* url;  // stream address (hidden)
    Timer* Timer1;
    Timer* Timer12;
    Recorder* Inet1;

private:
    // What the 1 ms Timer2 did, done whenever one of its inputs changes.
    void Timer2_Timer();
    void Inet1_Ended(qint64 bytes);
    void reportError(const Recorder::Error& e, const QString& descriptionPrefix);
    bool hasStoredFolder() const;

    QLabel* Label7;
    int rec_seconds = 0;
    int rec_minutes = 0;
    int rec_hours = 0;
    qint64 recorded_size = 0;
};
