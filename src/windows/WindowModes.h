// WindowModes: the "Ventana normal" / "Siempre visible" pair of a window's menu (TV, radio,
// `EnlargedPageWindow`). The window's topmost flag and the two check marks are the whole state; nothing is
// stored between runs. GUI thread only.
#pragma once

#include <QObject>

class Form;
class QAction;

class WindowModes : public QObject {
    Q_OBJECT
public:
    // Makes the two items the window's switch; the window starts as a normal window with
    // `normalform` checked.
    WindowModes(Form& window, QAction* normalform, QAction* visibleform);

    void normalform_Click();  // always-on-top off
    void visibleform_Click(); // always-on-top on

private:
    void apply(bool topmost);

    Form& m_window;
    QAction* m_normal;
    QAction* m_visible;
};
