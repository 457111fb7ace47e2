#include "ChannelListBox.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>

namespace {

// Folds as QString::startsWith(..., Qt::CaseInsensitive) compares: code point by code point.
void foldInto(QString& out, QStringView s) {
    for (qsizetype i = 0; i < s.size(); ++i) {
        char32_t c = s.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(s.at(i), s.at(i + 1));
            ++i;
        }
        c = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(c)) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(char16_t(c));
        }
    }
}

} // namespace

ChannelListBox::ChannelListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    const QAbstractItemModel* m = model();
    const auto invalidate = [this] {
        m_foldedValid = false;
        m_folded.clear();
        m_starts = {0};
    };
    // Rows appended to the end, as a load adds them, are folded as they arrive: the first keystroke
    // after a load then costs what every other does. Any other change is folded again at the next
    // search.
    connect(m, &QAbstractItemModel::rowsInserted, this,
            [this, invalidate](const QModelIndex&, int first, int last) {
                if (!m_foldedValid)
                    return;
                if (first != m_starts.size() - 1)
                    return invalidate();
                for (int row = first; row <= last; ++row)
                    appendFolded(item(row)->text());
            });
    connect(m, &QAbstractItemModel::rowsRemoved, this, invalidate);
    connect(m, &QAbstractItemModel::dataChanged, this, invalidate);
    connect(m, &QAbstractItemModel::rowsMoved, this, invalidate);
    connect(m, &QAbstractItemModel::layoutChanged, this, invalidate);
    // An emptied list (a load or a reload starts so) is valid as it is.
    connect(m, &QAbstractItemModel::modelReset, this, [this, invalidate] {
        invalidate();
        m_foldedValid = count() == 0;
    });
}

ChannelListBox::~ChannelListBox() {
    // The model outlives this part of the list and reports its own reset while it goes.
    model()->disconnect(this);
}

void ChannelListBox::appendFolded(const QString& text) const {
    foldInto(m_folded, text);
    m_starts.append(m_folded.size());
}

int ChannelListBox::findString(const QString& text) const {
    if (!m_foldedValid || m_starts.size() != count() + 1) {
        m_folded.clear();
        m_starts = {0};
        m_starts.reserve(count() + 1);
        for (int row = 0; row < count(); ++row)
            appendFolded(item(row)->text());
        m_foldedValid = true;
    }
    QString typed;
    foldInto(typed, text);
    const QStringView all(m_folded);
    for (qsizetype row = 0; row + 1 < m_starts.size(); ++row)
        if (all.sliced(m_starts[row], m_starts[row + 1] - m_starts[row]).startsWith(typed))
            return int(row);
    return -1;
}

int ChannelListBox::ListIndex() const {
    const QListWidgetItem* item = currentItem();
    return item && item->isSelected() ? currentRow() : -1;
}

void ChannelListBox::mouseDoubleClickEvent(QMouseEvent* e) {
    QListWidget::mouseDoubleClickEvent(e);
    if (e->button() == Qt::LeftButton)
        emit DblClick();
}

void ChannelListBox::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        emit KeyPress(13);
        return;
    }
    QListWidget::keyPressEvent(e);
    const QString typed = e->text();
    if (typed.size() == 1)
        emit KeyPress(typed.at(0).unicode());
}

bool ChannelListBox::viewportEvent(QEvent* e) {
    if (e->type() != QEvent::ToolTip || !m_toolTipSource)
        return QListWidget::viewportEvent(e);
    auto* help = static_cast<QHelpEvent*>(e);
    const QModelIndex index = indexAt(help->pos());
    const QString text = index.isValid() ? m_toolTipSource(index.row()) : QString();
    if (text.isEmpty()) {
        QToolTip::hideText();
        e->ignore();
        return true;
    }
    QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
    return true;
}
