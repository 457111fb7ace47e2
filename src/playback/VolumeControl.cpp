#include "VolumeControl.h"

#include "MasterVolume.h"
#include "base/Forms.h"
#include "platform/Timer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QScrollBar>
#include <algorithm>

// The pictures live in a static library, whose resources are only registered when asked for.
static void initVolumeResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(volume);
        return true;
    }();
    (void)done;
}

void prepareVolumeSlider(QScrollBar& slider) {
    slider.setMinimum(0);
    slider.setMaximum(100);
    slider.setPageStep(1);
}

int VolumeControl::pictureFor(int value) {
    // Each test overrides the one before it: the last that holds decides.
    int picture = 0;
    if (value == 0)
        picture = 0;
    if (value >= 1)
        picture = 1;
    if (value >= 30)
        picture = 2;
    if (value >= 70)
        picture = 3;
    return picture;
}

VolumeControl::VolumeControl(Form& window, std::function<void(int)> setPlayerVolume,
                             std::function<int()> playerVolume)
    : QWidget(&window), m_volbas(MasterVolume::of(window.forms())),
      m_setPlayerVolume(std::move(setPlayerVolume)), m_playerVolume(std::move(playerVolume)),
      m_volscroll(new QScrollBar(Qt::Horizontal, this)), m_visor(new QLabel(this)),
      m_label(new QLabel(QStringLiteral("100%"), this)), m_timer(new Timer(this, 1)) {
    initVolumeResources();
    setObjectName(QStringLiteral("volume"));
    m_volscroll->setObjectName(QStringLiteral("volscroll"));
    m_visor->setObjectName(QStringLiteral("volumen_visor"));
    m_label->setObjectName(QStringLiteral("vol_label"));
    m_timer->setObjectName(QStringLiteral("volumePollTimer"));

    for (int i = 0; i < 4; ++i) {
        auto* picture = new QLabel(this);
        picture->setObjectName(QStringLiteral("vol%1").arg(i));
        picture->setPixmap(QPixmap(QStringLiteral(":/volume/vol%1.png").arg(i)));
        picture->setFixedSize(28, 28);
        picture->hide();
        m_pictures[i] = picture;
    }
    m_visor->setFixedSize(28, 28);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_visor);
    row->addWidget(m_volscroll, 1);
    row->addWidget(m_label);

    // With tracking on, a drag changes the value at every step, so the change signal covers
    // both the change and the drag of the slider.
    connect(m_volscroll, &QScrollBar::valueChanged, this, &VolumeControl::volscroll_Change);
    connect(m_timer, &Timer::tick, this, &VolumeControl::poll_Timer);
    connect(&m_volbas, &MasterVolume::changed, this, &VolumeControl::poll_Timer);
    // The mixer reports outside changes as they happen (MasterVolume::changed); the poll only catches
    // what that misses (a mixer reopened after another window closed it).
    m_timer->setRealIntervalFloor(kFallbackTickFloorMs);
    m_timer->setEnabled(true);
}

void VolumeControl::Load() {
    prepareVolumeSlider(*m_volscroll);
    m_volbas.openAndRead();
    const int master = m_volbas.readPercentage();
    m_volscroll->setValue(shownVolume(master));
    m_visor->setToolTip(QString::number(m_volscroll->value()) + QStringLiteral(" %"));
    if (m_volscroll->value() == 0)
        m_visor->setPixmap(m_pictures[0]->pixmap());
}

void VolumeControl::volscroll_Change() {
    const int value = m_volscroll->value();
    m_visor->setToolTip(QString::number(value) + QStringLiteral(" %"));
    m_volbas.setPercentage(value);
    if (m_setPlayerVolume)
        m_setPlayerVolume(value);
    m_visor->setPixmap(m_pictures[pictureFor(value)]->pixmap());
}

int VolumeControl::shownVolume(int masterVolume) const {
    // Held at 0 with no mixer, the slider would hand 0 to the player at its first touch and
    // silence playback for the rest of the run.
    if (m_volbas.lastResult() != 0 && m_playerVolume)
        return std::clamp(m_playerVolume(), 0, 100);
    return masterVolume;
}

void VolumeControl::poll_Timer() {
    const int master = m_volbas.pollPercentage();
    m_volscroll->setValue(shownVolume(master));
}
