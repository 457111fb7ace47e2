#include "ChannelSearch.h"

#include "ChannelListBox.h"

#include <QAbstractButton>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>

namespace catalogue {

int findString(const QListWidget& list, const QString& text) {
    // The channel list keeps case-folded names for this; a plain list is walked.
    if (auto* box = qobject_cast<const ChannelListBox*>(&list))
        return box->findString(text);
    for (int row = 0; row < list.count(); ++row)
        if (list.item(row)->text().startsWith(text, Qt::CaseInsensitive))
            return row;
    return -1;
}

} // namespace catalogue

ChannelSearch::ChannelSearch(QLineEdit* box, QListWidget* list, QAbstractButton* latch,
                             std::function<void()> playSelected, QObject* parent)
    : QObject(parent), m_box(box), m_list(list), m_latch(latch), m_playSelected(std::move(playSelected)) {
    setObjectName(QStringLiteral("ChannelSearch"));
    m_box->installEventFilter(this);
    connect(m_box, &QLineEdit::textChanged, this, &ChannelSearch::searchField_Change);
    // The latch's click is its change to selected; selecting it again changes nothing.
    connect(m_latch, &QAbstractButton::toggled, this, [this](bool selected) {
        if (selected)
            searchLatch_Click();
    });
}

void ChannelSearch::searchField_Change() {
    const int row = catalogue::findString(*m_list, m_box->text());
    if (row < 0) {
        m_list->setCurrentRow(-1);
        m_list->clearSelection();
        return;
    }
    m_list->setCurrentRow(row);
    m_list->scrollToItem(m_list->item(row));
}

void ChannelSearch::searchField_Click() {
    m_latch->setChecked(true);
    m_latch->setEnabled(false);
}

void ChannelSearch::searchField_KeyPress(int keyAscii) {
    if (keyAscii == 13)
        m_playSelected();
}

void ChannelSearch::searchLatch_Click() {
    m_box->setText(QString());
}

bool ChannelSearch::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_box)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonRelease: {
        const auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton && m_box->rect().contains(e->position().toPoint()))
            searchField_Click();
        break;
    }
    case QEvent::KeyPress: {
        const auto* e = static_cast<QKeyEvent*>(event);
        // Enter plays even while the box is read-only: the box ignores only the editing keys then.
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            searchField_KeyPress(13);
            return true;
        }
        break;
    }
    case QEvent::FocusIn: {
        // A line edit selects all of its text when tabbed into, so the first key would replace the
        // placeholder; here the keys go on after the text, and only a click removes the placeholder.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
            static_cast<QObject*>(m_box)->event(event);
            m_box->deselect();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
