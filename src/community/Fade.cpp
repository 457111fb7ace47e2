#include "Fade.h"

#include "base/Forms.h"
#include "base/WindowOpacity.h"
#include "platform/Platform.h"
#include "platform/Timer.h"

#include <QScrollBar>
#include <QSignalBlocker>

Fader::Fader(Form& window, Input input)
    : QObject(&window), m_form(window), m_input(input), m_bar(new QScrollBar(Qt::Horizontal, &window)),
      m_in(new Timer(&window, 1)), m_out(new Timer(&window, 1)) {
    m_bar->setObjectName(QStringLiteral("HScroll1"));
    m_bar->setRange(0, 255);
    m_bar->setValue(0);
    m_bar->hide();
    m_in->setObjectName(QStringLiteral("Timer1"));
    m_out->setObjectName(QStringLiteral("Timer2"));
    connect(m_bar, &QScrollBar::valueChanged, this, &Fader::HScroll1_Change);
    connect(m_in, &Timer::tick, this, &Fader::Timer1_Timer);
    connect(m_out, &Timer::tick, this, &Fader::Timer2_Timer);
}

void Fader::fadeIn() {
    m_in->setEnabled(true);
    {
        const QSignalBlocker quiet(m_bar);
        m_bar->setValue(0);
    }
    applyOpacity(m_form.platform(), &m_form, 0);
}

void Fader::fadeOut() {
    // Both timers stepping at once would hold the level still and the window would never close.
    m_in->setEnabled(false);
    m_out->setEnabled(true);
}

void Fader::Timer1_Timer() {
    lock(true);
    m_level += kStep;
    if (!setBar(m_level)) {
        lock(false);
        m_in->setEnabled(false);
    }
}

void Fader::Timer2_Timer() {
    lock(true);
    m_level -= kStep;
    if (!setBar(m_level)) {
        lock(false);
        m_out->setEnabled(false);
        m_form.forms().unload(&m_form);
    }
}

void Fader::HScroll1_Change(int value) {
    applyOpacity(m_form.platform(), &m_form, value);
}

bool Fader::setBar(int value) {
    if (value < m_bar->minimum() || value > m_bar->maximum())
        return false;
    {
        // Applied on every step, also when the bar already shows the value (the first step down
        // after a complete fade-in is 255 again).
        const QSignalBlocker quiet(m_bar);
        m_bar->setValue(value);
    }
    HScroll1_Change(value);
    return true;
}

void Fader::lock(bool locked) {
    if (m_input == Input::LockedWhileFading)
        m_form.setEnabled(!locked);
}
