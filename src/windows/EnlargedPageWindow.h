// EnlargedPageWindow: the enlarged web-video window, captioned with the channel's name followed by
// " en Sintonex". The TV window moves a page channel into it and sets its caption; while it is
// open the TV window's "Ver Mini" stays disabled. GUI thread only.
#pragma once

#include "base/Forms.h"

class QAction;
class QMenu;
class QMenuBar;
class QPushButton;
class Timer;
class WebBrowser;

class EnlargedPageWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "EnlargedPageWindow";
    explicit EnlargedPageWindow(Forms& forms);

    void Form_Unload() override;

    QMenuBar* menuBar;
    WebBrowser* page;
    QPushButton* refreshButton; // "Refrescar"
    Timer* pageSizeTimer;
    QMenu* ventana;
    QAction* normalform;
    QAction* visibleform;
    QAction* vol;
    QMenu* ayud;
    QAction* soport;
    QAction* reportbut;
    QAction* instru;
    QAction* barr;
    QAction* gracias;

    void pageSizeTimer_Timer();
    void refreshButton_Click();
    void normalform_Click();
    void visibleform_Click();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildMenus();
    QAction* showing(QMenu* menu, const char* name, const char* caption, const char* window);
};
