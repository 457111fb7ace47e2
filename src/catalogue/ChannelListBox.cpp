#include "ChannelListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>

ChannelListBox::ChannelListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
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
