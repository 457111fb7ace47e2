// EnlargedPageWindow: the enlarged web-video window. The TV window moves a page channel into it and sets its
// caption; while it is open the TV window's "Ver Mini" stays disabled. GUI thread only.
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
    WebBrowser* WebBrowser1;
    QPushButton* Command1; // "Refrescar"
    Timer* Timer1;
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

    void Timer1_Timer();
    void Command1_Click();
    void normalform_Click();
    void visibleform_Click();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildMenus();
    QAction* showing(QMenu* menu, const char* name, const char* caption, const char* window);
};
