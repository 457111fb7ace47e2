// GuideWindow: "Guía de programación - <channel>", one TV channel's programmes for a day and the
// next, the current one marked, the selected one's description, other days of the guide by arrows
// or a date box; and the scheduled recordings, where "Grabar este programa" adds one and a
// recording can be cancelled. It shows at once what the grid already knows and fills in when the
// service answers; nothing in it waits. GUI thread only.
#pragma once

#include "base/Forms.h"
#include "catalogue/GuideClient.h"

#include <QDate>
#include <QList>

class GuideClient;
class QDateEdit;
class QLabel;
class QPushButton;
class QTextBrowser;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class RecordingScheduler;
class Timer;

class GuideWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "GuideWindow";
    explicit GuideWindow(Forms& forms);

    // Shows the window (loading it when needed) on `channel`; an open window switches to it.
    static void open(Forms& forms, const QString& channel, const QByteArray& nameBytes, const QString& kind);
    void setChannel(const QString& channel, const QByteArray& nameBytes, const QString& kind);
    void showDay(const QDate& day);

    void previousDay_Click();
    void nextDay_Click();
    void recordButton_Click(); // "Grabar este programa"
    void cancelButton_Click(); // "Cancelar grabación" / "Quitar de la lista"
    void programmeList_DblClick(QTreeWidgetItem* item);

    QLabel* channelTitle;
    QToolButton* previousDay;
    QDateEdit* dayBox;
    QToolButton* nextDay;
    QTreeWidget* programmeList;
    QTextBrowser* description;
    QPushButton* recordButton;
    QTreeWidget* scheduleList;
    QPushButton* cancelButton;
    QLabel* statusLabel;
    QPushButton* closeButton;
    Timer* currentMarker;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    struct Answer {
        QString channel;
        qint64 from = 0, to = 0, first = 0, last = 0;
        QList<GuideEntry> programmes;
    };

    void fill(const QList<GuideEntry>& programmes);
    // Marks the programme on now and arms the timer for the next change; the current row, if any.
    QTreeWidgetItem* markCurrent();
    void styleRow(QTreeWidgetItem* item, qint64 now);
    void showSelected();
    void fillSchedule();
    void updateDayLimits();
    const GuideEntry* selectedEntry() const;
    qint64 dayStart(const QDate& day) const;

    GuideClient* m_guide;
    RecordingScheduler* m_scheduler;
    QString m_channel, m_kind;
    QByteArray m_channelBytes;
    QDate m_day;
    qint64 m_first = 0, m_last = 0; // what the service has of the channel; 0 when unknown
    QList<GuideEntry> m_shown;      // the list's programmes, by row data
    QList<Answer> m_answers;        // the last few, so the arrows back and forth cost nothing
    bool m_filledFromService = false;
};
