// ProgrammeLine: the TV window's line "Ahora: Telediario (21:00–21:45)" and its progress bar, for
// the channel playing. It sits where the update notice does and shows only while the notice is
// hidden; it moves on by itself when a programme ends. Its one timer ticks at most once a minute,
// and only while the window shows a programme. GUI thread only.
#pragma once

#include "catalogue/GuideClient.h"

#include <QObject>
#include <QPointer>

class PlayerWindow;
class QLabel;
class QProgressBar;
class Timer;

class ProgrammeLine : public QObject {
    Q_OBJECT
public:
    ProgrammeLine(PlayerWindow& window, GuideClient& guide);

    // The programme on now on the playing channel; empty when none is known.
    const QString& programme() const { return m_programme; }

signals:
    void programmeChanged(const QString& title);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void channelDispatched();
    void update();

    PlayerWindow& m_window;
    GuideClient& m_guide;
    // Guarded: the window's controls go before this while the window is destroyed.
    QPointer<QLabel> m_line;
    QPointer<QProgressBar> m_progress;
    QPointer<QWidget> m_notice;
    Timer* m_timer;
    QString m_channel; // watched: the stream channel playing; empty for none
    QByteArray m_channelBytes;
    QString m_programme;
    GuideEntry m_shown; // the programme the line shows
};
