// TrayWindow: the tray window of the radio, whose caption (the station followed by " en Sintonex")
// is the tray icon's tip. It is never seen itself: shown by the radio window's
// "Ver Mini", it puts the icon into the notification area, whose left press or right click pops
// up the menu to restore the radio window, open the volume window, mute, or leave the program. Its
// caption, written by the radio window, becomes the icon's tip. GUI thread only.
#pragma once

#include "base/Forms.h"
#include "platform/Tray.h"

class QAction;
class QMenu;

// The tip the notification area shows for a caption. The icon record holds 64 characters: the
// caption, its end mark, then blanks; a longer caption is cut and loses its end mark, and the
// notification area then keeps what fits before its own end mark.
QString trayTip(const QString& caption);

class TrayWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "TrayWindow";
    static constexpr int kTipChars = 64;
    explicit TrayWindow(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;
    void setVisible(bool visible) override;

    QMenu* mnuSystray;
    QAction* mnuRestore;
    QAction* voll;
    QAction* historial; // "Canciones escuchadas"
    QAction* silent;
    QAction* mislistas; // "Mis listas de canales"
    QAction* barr;
    QAction* oucl;
    QAction* barraa;
    QAction* mnuexit;
    QString saved_volume;

    void Form_Resize();
    void Icon_Click(Tray::Click click);
    void mnuRestore_Click();
    void voll_Click();
    void silent_Click();
    void mnuexit_Click();

private:
    QAction* item(const char* name, const char* caption);
    Tray* tray() const;
};
