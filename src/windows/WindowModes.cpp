#include "WindowModes.h"

#include "base/Forms.h"
#include "platform/Platform.h"

#include <QAction>

WindowModes::WindowModes(Form& window, QAction* normalform, QAction* visibleform)
    : QObject(&window), m_window(window), m_normal(normalform), m_visible(visibleform) {
    for (QAction* item : {m_normal, m_visible})
        item->setCheckable(true);
    m_normal->setChecked(true);
    m_visible->setChecked(false);
    connect(m_normal, &QAction::triggered, this, &WindowModes::normalform_Click);
    connect(m_visible, &QAction::triggered, this, &WindowModes::visibleform_Click);
}

void WindowModes::normalform_Click() {
    apply(false);
}

void WindowModes::visibleform_Click() {
    apply(true);
}

// Choosing the item that is already checked must leave it checked: a checkable item toggles
// itself off before its handler runs.
void WindowModes::apply(bool topmost) {
    m_visible->setChecked(topmost);
    m_normal->setChecked(!topmost);
    if (WindowSystem* ws = m_window.platform().windowSystem.get())
        ws->setTopmost(&m_window, topmost);
}
