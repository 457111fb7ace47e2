#include "GuideWindow.h"

#include "PlayerWindow.h"
#include "TvWindow.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "playback/RecordingScheduler.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kTitle = QStringLiteral("Guía de programación");
constexpr int kEntryRole = Qt::UserRole;     // index into the shown programmes; -1 on a day header
constexpr int kStateRole = Qt::UserRole + 1; // 0 to come, 1 on now, 2 over
constexpr int kRecordingRole = Qt::UserRole; // a recording's id
constexpr int kKeptAnswers = 3;

qint64 nowSeconds() {
    return Clock::nowUtcMs() / 1000;
}

QTreeWidget* makeTree(QWidget* parent, const char* name, const QStringList& columns) {
    auto* tree = new QTreeWidget(parent);
    tree->setObjectName(QString::fromLatin1(name));
    tree->setHeaderLabels(columns);
    tree->setRootIsDecorated(false);
    tree->setUniformRowHeights(true);
    return tree;
}

QToolButton* makeArrow(QWidget* parent, const char* name, const char* text, const char* tip) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(QString::fromLatin1(text));
    b->setToolTip(QString::fromUtf8(tip));
    return b;
}

} // namespace

GuideWindow::GuideWindow(Forms& forms)
    : Form(forms, QString::fromLatin1(kName)), m_guide(forms.shared<GuideClient>()),
      m_scheduler(forms.shared<RecordingScheduler>()) {
    setCaption(kTitle);
    resize(640, 480);
    setMinimumSize(480, 360);

    channelTitle = new QLabel(this);
    channelTitle->setObjectName(QStringLiteral("channelTitle"));
    channelTitle->setTextFormat(Qt::PlainText);
    QFont bold = channelTitle->font();
    bold.setBold(true);
    channelTitle->setFont(bold);
    previousDay = makeArrow(this, "previousDay", "<", "Día anterior");
    dayBox = new QDateEdit(this);
    dayBox->setObjectName(QStringLiteral("dayBox"));
    dayBox->setCalendarPopup(true);
    dayBox->setLocale(QLocale(QLocale::Spanish));
    dayBox->setDisplayFormat(QStringLiteral("dddd d 'de' MMMM"));
    nextDay = makeArrow(this, "nextDay", ">", "Día siguiente");
    programmeList =
        makeTree(this, "programmeList",
                 {QStringLiteral("Hora"), QStringLiteral("Programa"), QStringLiteral("Categoría")});
    programmeList->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    // Wide enough for the marker and a time range: measuring hundreds of rows would cost more.
    QFont boldList = programmeList->font();
    boldList.setBold(true);
    programmeList->setColumnWidth(
        0, QFontMetrics(boldList).horizontalAdvance(QStringLiteral("▶ 00:00–00:00")) + 16);
    programmeList->header()->setStretchLastSection(false);
    description = new QTextBrowser(this);
    description->setObjectName(QStringLiteral("description"));
    description->setMaximumHeight(90);
    recordButton = new QPushButton(QStringLiteral("Grabar este programa"), this);
    recordButton->setObjectName(QStringLiteral("recordButton"));
    recordButton->setEnabled(false);
    scheduleList = makeTree(this, "scheduleList", {QStringLiteral("Grabación"), QStringLiteral("Estado")});
    scheduleList->setMaximumHeight(90);
    cancelButton = new QPushButton(QStringLiteral("Cancelar grabación"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setEnabled(false);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    closeButton = new QPushButton(QStringLiteral("Cerrar"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    currentMarker = new Timer(this);
    currentMarker->setObjectName(QStringLiteral("currentMarker"));

    auto* days = new QHBoxLayout;
    days->addWidget(channelTitle, 1);
    days->addWidget(previousDay);
    days->addWidget(dayBox);
    days->addWidget(nextDay);
    auto* scheduleButtons = new QHBoxLayout;
    scheduleButtons->addWidget(recordButton);
    scheduleButtons->addStretch(1);
    scheduleButtons->addWidget(cancelButton);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(statusLabel, 1);
    bottom->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(days);
    layout->addWidget(programmeList, 1);
    layout->addWidget(description);
    layout->addLayout(scheduleButtons);
    layout->addWidget(scheduleList);
    layout->addLayout(bottom);

    connect(previousDay, &QToolButton::clicked, this, &GuideWindow::previousDay_Click);
    connect(nextDay, &QToolButton::clicked, this, &GuideWindow::nextDay_Click);
    connect(dayBox, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        if (d != m_day)
            showDay(d);
    });
    connect(programmeList, &QTreeWidget::itemSelectionChanged, this, &GuideWindow::showSelected);
    connect(programmeList, &QTreeWidget::itemDoubleClicked, this, &GuideWindow::programmeList_DblClick);
    connect(recordButton, &QPushButton::clicked, this, &GuideWindow::recordButton_Click);
    connect(cancelButton, &QPushButton::clicked, this, &GuideWindow::cancelButton_Click);
    connect(scheduleList, &QTreeWidget::itemSelectionChanged, this, &GuideWindow::fillSchedule);
    connect(closeButton, &QPushButton::clicked, this, [this] { this->forms().unload(this); });
    connect(currentMarker, &Timer::tick, this, &GuideWindow::markCurrent);
    if (m_guide) {
        connect(m_guide, &GuideClient::daysArrived, this,
                [this](const QString& channel, qint64 from, qint64 to, const QList<GuideEntry>& programmes,
                       qint64 first, qint64 last) {
                    m_answers.append({channel, from, to, first, last, programmes});
                    while (m_answers.size() > kKeptAnswers)
                        m_answers.removeFirst();
                    if (channel != m_channel || from != dayStart(m_day))
                        return; // an answer for a day or channel no longer shown
                    m_first = first;
                    m_last = last;
                    m_filledFromService = true;
                    fill(programmes);
                });
        connect(m_guide, &GuideClient::daysFailed, this, [this](const QString& channel, qint64 from) {
            if (channel == m_channel && from == dayStart(m_day) && !m_filledFromService)
                statusLabel->setText(QStringLiteral("No se pudo obtener la programación."));
        });
    }
    if (m_scheduler)
        connect(m_scheduler, &RecordingScheduler::changed, this, &GuideWindow::fillSchedule);
    fillSchedule();
}

void GuideWindow::open(Forms& forms, const QString& channel, const QByteArray& nameBytes,
                       const QString& kind) {
    auto* window = static_cast<GuideWindow*>(forms.form(QString::fromLatin1(kName)));
    if (!window)
        return;
    window->setChannel(channel, nameBytes, kind);
    forms.show(QString::fromLatin1(kName));
    window->raise();
    window->activateWindow();
}

void GuideWindow::setChannel(const QString& channel, const QByteArray& nameBytes, const QString& kind) {
    const bool same = channel == m_channel && m_day.isValid();
    m_channel = channel;
    m_channelBytes = nameBytes;
    m_kind = kind;
    setCaption(kTitle + QStringLiteral(" - ") + channel);
    channelTitle->setText(channel);
    if (!same) {
        m_first = m_last = 0;
        m_day = {};
    }
    // Opening again asks again, so a failed answer is not the last word.
    showDay(QDateTime::fromMSecsSinceEpoch(Clock::nowUtcMs()).toLocalTime().date());
}

qint64 GuideWindow::dayStart(const QDate& day) const {
    return QDateTime(day, QTime(0, 0), QTimeZone::systemTimeZone()).toSecsSinceEpoch();
}

void GuideWindow::showDay(const QDate& day) {
    m_day = day;
    m_filledFromService = false;
    {
        const QSignalBlocker quiet(dayBox);
        dayBox->setDate(day);
    }
    // Two local days, whatever their length across a change of the clocks.
    const qint64 from = dayStart(day), to = dayStart(day.addDays(2));
    for (const Answer& a : m_answers)
        if (a.channel == m_channel && a.from == from && a.to == to) {
            m_first = a.first;
            m_last = a.last;
            m_filledFromService = true;
            return fill(a.programmes);
        }
    // What the grid knows already, until the service answers.
    QList<GuideEntry> known;
    if (m_guide) {
        const NowNext nn = m_guide->nowNext(m_channel);
        for (const auto& e : {nn.now, nn.next})
            if (e && e->stop > from && e->start < to)
                known << *e;
    }
    fill(known);
    statusLabel->setText(m_guide ? QStringLiteral("Cargando la programación…") : QString());
    if (m_guide)
        m_guide->fetchDays(m_channel, m_channelBytes, from, to);
}

void GuideWindow::previousDay_Click() {
    showDay(m_day.addDays(-1));
}

void GuideWindow::nextDay_Click() {
    showDay(m_day.addDays(1));
}

void GuideWindow::updateDayLimits() {
    const QDate first = m_first ? QDateTime::fromSecsSinceEpoch(m_first).toLocalTime().date() : m_day;
    const QDate last = m_last ? QDateTime::fromSecsSinceEpoch(m_last - 1).toLocalTime().date() : m_day;
    const QSignalBlocker quiet(dayBox);
    dayBox->setDateRange(std::min(first, m_day), std::max(last, m_day));
    previousDay->setEnabled(m_day > first);
    nextDay->setEnabled(m_day < last);
}

void GuideWindow::fill(const QList<GuideEntry>& programmes) {
    m_shown = programmes;
    programmeList->clear();
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDate today = QDateTime::fromMSecsSinceEpoch(Clock::nowUtcMs()).toLocalTime().date();
    // Made apart and added at once: a day of short programmes is hundreds of rows, and rows
    // changed inside the list would each tell the view.
    QList<QTreeWidgetItem*> items;
    QDate header;
    for (int i = 0; i < m_shown.size(); ++i) {
        const GuideEntry& e = m_shown[i];
        // A programme that began the evening before is listed under the first day shown.
        const QDate day = std::max(QDateTime::fromSecsSinceEpoch(e.start, zone).date(), m_day);
        if (day != header) {
            header = day;
            auto* item = new QTreeWidgetItem({GuideClient::dayHeader(day, today)});
            item->setFlags(Qt::ItemIsEnabled);
            QFont bold = item->font(0);
            bold.setBold(true);
            item->setFont(0, bold);
            item->setData(0, kEntryRole, -1);
            items << item;
        }
        const QString title = e.subTitle.isEmpty() ? e.title : e.title + QStringLiteral(" — ") + e.subTitle;
        auto* item = new QTreeWidgetItem({GuideClient::timeRange(e, zone), title, e.category});
        item->setData(0, kEntryRole, i);
        item->setData(0, kStateRole, -1);
        items << item;
    }
    const qint64 now = nowSeconds();
    for (QTreeWidgetItem* item : items)
        styleRow(item, now);
    programmeList->addTopLevelItems(items);
    for (QTreeWidgetItem* item : items)
        if (item->data(0, kEntryRole).toInt() < 0)
            item->setFirstColumnSpanned(true);
    if (m_filledFromService || !statusLabel->text().isEmpty())
        statusLabel->setText(m_shown.isEmpty() && m_filledFromService
                                 ? QStringLiteral("No hay programación de este canal.")
                                 : QString());
    updateDayLimits();
    if (QTreeWidgetItem* current = markCurrent())
        programmeList->scrollToItem(current, QAbstractItemView::PositionAtCenter);
}

// Whether the row's programme is on, over or to come, shown only when that changed.
void GuideWindow::styleRow(QTreeWidgetItem* item, qint64 now) {
    const int index = item->data(0, kEntryRole).toInt();
    if (index < 0)
        return;
    const GuideEntry& e = m_shown[index];
    const int state = e.stop <= now ? 2 : e.start <= now ? 1 : 0;
    if (item->data(0, kStateRole).toInt() == state)
        return;
    item->setData(0, kStateRole, state);
    const QString range = GuideClient::timeRange(e, QTimeZone::systemTimeZone());
    item->setText(0, state == 1 ? QStringLiteral("▶ ") + range : range);
    const QPalette& palette = programmeList->palette();
    for (int column = 0; column < 3; ++column) {
        QFont font = item->font(column);
        font.setBold(state == 1);
        item->setFont(column, font);
        item->setForeground(
            column, palette.brush(state == 2 ? QPalette::Disabled : QPalette::Active, QPalette::Text));
    }
}

QTreeWidgetItem* GuideWindow::markCurrent() {
    const qint64 now = nowSeconds();
    qint64 nextChange = 0;
    QTreeWidgetItem* current = nullptr;
    for (int row = 0; row < programmeList->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = programmeList->topLevelItem(row);
        const int index = item->data(0, kEntryRole).toInt();
        if (index < 0)
            continue;
        styleRow(item, now);
        const GuideEntry& e = m_shown[index];
        const qint64 change = e.start > now ? e.start : e.stop > now ? e.stop : 0;
        if (change > 0 && (nextChange == 0 || change < nextChange))
            nextChange = change;
        if (e.start <= now && now < e.stop)
            current = item;
    }
    // Wakes when the marker has to move, and at least once a minute.
    if (isVisible() && nextChange > 0) {
        currentMarker->setInterval(
            static_cast<int>(std::clamp<qint64>(nextChange * 1000 - Clock::nowUtcMs(), 1, 60000)));
        currentMarker->setEnabled(true);
    } else {
        currentMarker->setEnabled(false);
    }
    showSelected();
    return current;
}

const GuideEntry* GuideWindow::selectedEntry() const {
    const QList<QTreeWidgetItem*> items = programmeList->selectedItems();
    const int index = items.isEmpty() ? -1 : items.first()->data(0, kEntryRole).toInt();
    return index >= 0 && index < m_shown.size() ? &m_shown[index] : nullptr;
}

void GuideWindow::showSelected() {
    const GuideEntry* e = selectedEntry();
    recordButton->setEnabled(e && e->stop > nowSeconds() && m_kind == QLatin1String("asx") && m_scheduler);
    if (!e) {
        description->clear();
        return;
    }
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QString day = QLocale(QLocale::Spanish)
                            .toString(QDateTime::fromSecsSinceEpoch(e->start, zone).date(),
                                      QStringLiteral("dddd d 'de' MMMM"));
    QStringList lines{e->title};
    if (!e->subTitle.isEmpty())
        lines << e->subTitle;
    lines << day + QStringLiteral(", ") + GuideClient::timeRange(*e, zone);
    if (!e->category.isEmpty())
        lines << e->category;
    if (!e->description.isEmpty())
        lines << QString() << e->description;
    description->setPlainText(lines.join(QLatin1Char('\n')));
}

void GuideWindow::programmeList_DblClick(QTreeWidgetItem* item) {
    const int index = item ? item->data(0, kEntryRole).toInt() : -1;
    if (index < 0 || index >= m_shown.size())
        return;
    const GuideEntry& e = m_shown[index];
    const qint64 now = nowSeconds();
    if (!(e.start <= now && now < e.stop))
        return; // another programme: selecting it is all a double-click does
    if (PlayerWindow* tv = PlayerWindow::bringUp(forms(), QString::fromLatin1(TvWindow::kName)))
        tv->playChannelNamed(m_channel);
}

void GuideWindow::recordButton_Click() {
    const GuideEntry* e = selectedEntry();
    if (!e || !m_scheduler)
        return;
    bool written = false;
    QString id;
    const auto refusal =
        m_scheduler->schedule(m_channel, m_channelBytes, e->title, e->start, e->stop, &written, &id);
    QString message;
    switch (refusal) {
    case RecordingSchedule::Refusal::Past:
        message = QStringLiteral("Este programa ya ha terminado.");
        break;
    case RecordingSchedule::Refusal::Duplicate:
        message = QStringLiteral("Este programa ya está programado.");
        break;
    case RecordingSchedule::Refusal::TooMany:
        message =
            QStringLiteral("Ya hay dos grabaciones programadas a esa hora. Cancela una para grabar este "
                           "programa.");
        break;
    case RecordingSchedule::Refusal::None:
        if (!written)
            message = QStringLiteral("No se pudo guardar la programación en programadas.ini.");
        break;
    }
    if (!message.isEmpty()) {
        platform().dialogs->MsgBox(message, MsgStyle::OkOnly, kTitle);
        return;
    }
    for (int row = 0; row < scheduleList->topLevelItemCount(); ++row)
        if (scheduleList->topLevelItem(row)->data(0, kRecordingRole).toString() == id)
            scheduleList->setCurrentItem(scheduleList->topLevelItem(row));
}

void GuideWindow::cancelButton_Click() {
    const QList<QTreeWidgetItem*> items = scheduleList->selectedItems();
    if (items.isEmpty() || !m_scheduler)
        return;
    const QString id = items.first()->data(0, kRecordingRole).toString();
    for (const ScheduledRecording& r : m_scheduler->recordings())
        if (r.id == id) {
            if (r.active())
                m_scheduler->cancel(id);
            else
                m_scheduler->remove(id);
        }
}

void GuideWindow::fillSchedule() {
    const QList<ScheduledRecording> all =
        m_scheduler ? m_scheduler->recordings() : QList<ScheduledRecording>{};
    QList<QTreeWidgetItem*> selected = scheduleList->selectedItems();
    const QString selectedId =
        selected.isEmpty() ? QString() : selected.first()->data(0, kRecordingRole).toString();
    // Rows are kept and their texts changed, so the selection and the scroll stay put.
    {
        const QSignalBlocker quiet(scheduleList);
        while (scheduleList->topLevelItemCount() > all.size())
            delete scheduleList->topLevelItem(scheduleList->topLevelItemCount() - 1);
        for (int i = 0; i < all.size(); ++i) {
            QTreeWidgetItem* item = scheduleList->topLevelItem(i);
            if (!item)
                item = new QTreeWidgetItem(scheduleList);
            item->setText(0, RecordingSchedule::describe(all[i]));
            item->setText(1, RecordingSchedule::displayState(all[i], m_scheduler->bytesOf(all[i].id)));
            item->setData(0, kRecordingRole, all[i].id);
            item->setSelected(all[i].id == selectedId);
        }
    }
    scheduleList->resizeColumnToContents(0);
    selected = scheduleList->selectedItems();
    const ScheduledRecording* chosen = nullptr;
    for (const ScheduledRecording& r : all)
        if (!selected.isEmpty() && r.id == selected.first()->data(0, kRecordingRole).toString())
            chosen = &r;
    cancelButton->setText(chosen && !chosen->active() ? QStringLiteral("Quitar de la lista")
                                                      : QStringLiteral("Cancelar grabación"));
    cancelButton->setEnabled(chosen != nullptr);
}

void GuideWindow::showEvent(QShowEvent* e) {
    Form::showEvent(e);
    markCurrent();
}

void GuideWindow::hideEvent(QHideEvent* e) {
    Form::hideEvent(e);
    currentMarker->setEnabled(false);
}

void GuideWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape)
        return forms().unload(this);
    Form::keyPressEvent(e);
}
