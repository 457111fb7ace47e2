#include "SmallVolumeWindow.h"

#include "MasterVolume.h"
#include "VolumeControl.h"
#include "platform/Timer.h"

#include <QScrollBar>
#include <QVBoxLayout>

SmallVolumeWindow::SmallVolumeWindow(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)), m_volbas(MasterVolume::of(forms)),
      m_volscroll(new QScrollBar(Qt::Horizontal, this)), m_pollTimer(new Timer(this, 1)) {
    setCaption(QStringLiteral("Volumen"));
    setSizeTwips(3600, 600);
    m_volscroll->setObjectName(QStringLiteral("volscroll"));
    m_pollTimer->setObjectName(QStringLiteral("pollTimer"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_volscroll);

    // Tracking makes a drag a run of changes, so one signal covers both the change and the drag.
    connect(m_volscroll, &QScrollBar::valueChanged, this, &SmallVolumeWindow::volscroll_Change);
    connect(m_pollTimer, &Timer::tick, this, &SmallVolumeWindow::pollTimer_Timer);
    connect(&m_volbas, &MasterVolume::changed, this, &SmallVolumeWindow::pollTimer_Timer);
    m_pollTimer->setRealIntervalFloor(kFallbackTickFloorMs); // as the sliders' poll
    m_pollTimer->setEnabled(true);
}

void SmallVolumeWindow::Form_Load() {
    prepareVolumeSlider(*m_volscroll);
    m_volbas.openAndRead();
    m_volscroll->setValue(m_volbas.readPercentage());
}

void SmallVolumeWindow::Form_Unload() {
    // The window is gone from here on, even before Qt deletes it: it must not reopen the mixer.
    m_pollTimer->setEnabled(false);
    disconnect(&m_volbas, nullptr, this, nullptr);
    m_volbas.close();
}

void SmallVolumeWindow::volscroll_Change() {
    setCaption(QStringLiteral("Volumen ") + QString::number(m_volscroll->value()) + QStringLiteral(" %"));
    m_volbas.setPercentage(m_volscroll->value());
}

void SmallVolumeWindow::pollTimer_Timer() {
    m_volscroll->setValue(m_volbas.pollPercentage());
}
