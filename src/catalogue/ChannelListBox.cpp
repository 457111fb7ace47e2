#include "ChannelListBox.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>

namespace {

// Folds as QString::startsWith(..., Qt::CaseInsensitive) compares: code point by code point.
QString folded(const QString& s) {
    QString out;
    out.reserve(s.size());
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
    return out;
}

} // namespace

ChannelListBox::ChannelListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    const QAbstractItemModel* m = model();
    connect(m, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        if (!m_foldedValid)
            return;
        for (int row = first; row <= last; ++row)
            m_folded.insert(row, folded(item(row)->text()));
    });
    connect(m, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex&, int first, int last) {
        if (m_foldedValid)
            m_folded.remove(first, last - first + 1);
    });
    connect(m, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                if (!m_foldedValid)
                    return;
                for (int row = from.row(); row <= to.row() && row < m_folded.size(); ++row)
                    m_folded[row] = folded(item(row)->text());
            });
    const auto invalidate = [this] {
        m_foldedValid = false;
        m_folded.clear();
    };
    connect(m, &QAbstractItemModel::rowsMoved, this, invalidate);
    connect(m, &QAbstractItemModel::layoutChanged, this, invalidate);
    connect(m, &QAbstractItemModel::modelReset, this, invalidate);
}

ChannelListBox::~ChannelListBox() {
    // The model outlives this part of the list and reports its own reset while it goes.
    model()->disconnect(this);
}

int ChannelListBox::findString(const QString& text) const {
    if (!m_foldedValid || m_folded.size() != count()) {
        m_folded.clear();
        m_folded.reserve(count());
        for (int row = 0; row < count(); ++row)
            m_folded.append(folded(item(row)->text()));
        m_foldedValid = true;
    }
    const QString typed = folded(text);
    for (qsizetype row = 0; row < m_folded.size(); ++row)
        if (m_folded.at(row).startsWith(typed))
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
