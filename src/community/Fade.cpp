#include "Fade.h"

#include "base/Forms.h"
#include "base/WindowOpacity.h"
#include "platform/Platform.h"
#include "platform/Timer.h"

#include <QScrollBar>
#include <QSignalBlocker>

Fader::Fader(Form& window, Input input)
    : QObject(&window), m_form(window), m_input(input), m_opacityBar(new QScrollBar(Qt::Horizontal, &window)),
      m_fadeInTimer(new Timer(&window, 1)), m_fadeOutTimer(new Timer(&window, 1)) {
    m_opacityBar->setObjectName(QStringLiteral("opacityBar"));
    m_opacityBar->setRange(0, 255);
    m_opacityBar->setValue(0);
    m_opacityBar->hide();
    m_fadeInTimer->setObjectName(QStringLiteral("fadeInTimer"));
    m_fadeOutTimer->setObjectName(QStringLiteral("fadeOutTimer"));
    connect(m_opacityBar, &QScrollBar::valueChanged, this, &Fader::opacityBar_Change);
    connect(m_fadeInTimer, &Timer::tick, this, &Fader::fadeInTimer_Timer);
    connect(m_fadeOutTimer, &Timer::tick, this, &Fader::fadeOutTimer_Timer);
}

void Fader::fadeIn() {
    m_fadeInTimer->setEnabled(true);
    {
        const QSignalBlocker quiet(m_opacityBar);
        m_opacityBar->setValue(0);
    }
    applyOpacity(m_form.platform(), &m_form, 0);
}

void Fader::fadeOut() {
    // Both timers stepping at once would hold the level still and the window would never close.
    m_fadeInTimer->setEnabled(false);
    m_fadeOutTimer->setEnabled(true);
}

void Fader::fadeInTimer_Timer() {
    lock(true);
    m_level += kStep;
    if (!setBar(m_level)) {
        lock(false);
        m_fadeInTimer->setEnabled(false);
    }
}

void Fader::fadeOutTimer_Timer() {
    lock(true);
    m_level -= kStep;
    if (!setBar(m_level)) {
        lock(false);
        m_fadeOutTimer->setEnabled(false);
        m_form.forms().unload(&m_form);
    }
}

void Fader::opacityBar_Change(int value) {
    applyOpacity(m_form.platform(), &m_form, value);
}

bool Fader::setBar(int value) {
    if (value < m_opacityBar->minimum() || value > m_opacityBar->maximum())
        return false;
    {
        // Applied on every step, also when the bar already shows the value (the first step down
        // after a complete fade-in is 255 again).
        const QSignalBlocker quiet(m_opacityBar);
        m_opacityBar->setValue(value);
    }
    opacityBar_Change(value);
    return true;
}

void Fader::lock(bool locked) {
    if (m_input == Input::LockedWhileFading)
        m_form.setEnabled(!locked);
}
