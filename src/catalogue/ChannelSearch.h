// ChannelSearch: the search box `searchField` above a player window's channel list `canales`. Every
// change of the box's text selects the first entry, from the top, whose name begins with that
// text (letter case aside), as the platform list's find-string operation did; Enter in the box
// plays the selection. The box opens with a placeholder that only the first click removes, through
// the window's hidden latch `searchLatch`. Both windows use it with their own controls. GUI thread
// only.
#pragma once

#include <QObject>
#include <functional>

class QAbstractButton;
class QLineEdit;
class QListWidget;

namespace catalogue {
// The position of the first entry whose text begins with `text`, compared without regard to
// letter case; -1 when none does. The empty text begins every entry.
int findString(const QListWidget& list, const QString& text);
} // namespace catalogue

class ChannelSearch : public QObject {
    Q_OBJECT
public:
    // `playSelected` plays the list's selection as Enter in the search box does.
    ChannelSearch(QLineEdit* box, QListWidget* list, QAbstractButton* latch,
                  std::function<void()> playSelected, QObject* parent);

    // Handlers.
    void searchField_Change();
    void searchField_Click();
    void searchField_KeyPress(int keyAscii);
    void searchLatch_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_box;
    QListWidget* m_list;
    QAbstractButton* m_latch;
    std::function<void()> m_playSelected;
};
