// PlayerCommands: what the user can operate in a player window besides the list, the search, the
// chat and the list-panel buttons: the stop/play button and pictures, the enlarge picture, "Ver
// &Mini", "&Grabar", the switch to the other player window, teletext, the update questions, the
// link labels and the items of "&Configuración" and "&Ayuda". Written once for the TV window
// `TvWindow` and the radio window `RadioWindow`; where they differ, the window's variant says how.
// GUI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class Form;
class Forms;
class PlayerWindow;
namespace playback {
struct CurrentChannel;
}

class PlayerCommands : public QObject {
    Q_OBJECT
public:
    // `current` is the TV window's record of the channel last dispatched; the radio window, which
    // keeps none, passes null.
    PlayerCommands(PlayerWindow& window, const playback::CurrentChannel* current);

    // Where the two windows' commands differ.
    struct Variant {
        const char* otherWindow;     // what the switch button opens
        const char* recordExtension; // of the recordings
        bool miniWindows;            // "Ver &Mini" hands the channel to a mini window (else: tray)
        bool enlargeByKind;          // the enlarge picture looks at the channel kind (else: full screen)
    };

    // Whether a system tray can take the radio window's icon. By default: the desktop has a tray
    // and the program has a tray window.
    void setTrayQuery(std::function<bool()> query) { m_trayAvailable = std::move(query); }

    void pauseButton_Click(); // "II" / ">"
    void stopPicture_Click();
    void playPicture_Click();
    void enlargePicture_Click();
    void miniButton_Click();        // "Ver &Mini" (radio: to the tray)
    void recordButton_Click();      // "&Grabar"
    void switchButton_Click();      // "&Radio" (radio: "&Televisión")
    void txte_Click();              // "&Teletexto", button and menu item (radio: txtte)
    void guia_Click();              // TV only: "&Guía de programación", Ctrl+G
    void actcanales_Click();        // radio: canaleslist
    void actt_Click();              // radio: actualiza
    void noticeLabel_Click();       // the new-version question
    void lyricsButton_Click();      // radio only: lyrics search
    void testStationButton_Click(); // radio only: test station

    // The current item's "Name" and "author" as the lyrics search last read them.
    QString media_title;
    QString media_author;

private:
    void miniView();   // TV: hand the channel to a mini window
    void sendToTray(); // radio
    void blankPage();
    void showPlayState(bool playing);
    void armPlayLockOut();
    void showWindow(const QString& name);
    void openPage(const QString& address);
    // Asks a Yes/No question; on Yes shows `window` in place of this window, which then goes.
    void offerInstead(const QString& prompt, const QString& title, const QString& window);
    bool trayAvailable() const;
    void connectControls();
    void connectMenus();

    PlayerWindow& m_window;
    Forms& m_forms;
    const playback::CurrentChannel* m_current;
    const Variant& m_variant;
    QString m_streamAddress; // the radio window's counterpart of the TV window's `txurl`
    std::function<bool()> m_trayAvailable;
};
