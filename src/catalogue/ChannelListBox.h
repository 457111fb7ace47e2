// ChannelListBox: the list box `canales` of a player window. Besides the list's own behaviour it
// reports a double-click anywhere in the list (DblClick) and each typed character (KeyPress with
// its character code; Enter is 13), as the windows' handlers expect them, and finds the first
// item that begins with a text, fast enough for every keystroke in a list of 100,000 channels.
#pragma once

#include <QListWidget>
#include <functional>

class ChannelListBox : public QListWidget {
    Q_OBJECT
public:
    explicit ChannelListBox(QWidget* parent = nullptr);
    ~ChannelListBox() override;

    // The selected position, or -1 when no item is selected.
    int ListIndex() const;

    // The first item, from the top, whose text begins with `text` without regard to letter case
    // (the empty text begins every item); -1 when none does.
    int findString(const QString& text) const;

    // Where an item's tooltip comes from, asked when the pointer rests on it, so that a long list
    // costs nothing until hovered and the text is right at the moment it shows. An empty text shows
    // no tooltip.
    void setToolTipSource(std::function<QString(int row)> source) { m_toolTipSource = std::move(source); }

signals:
    void DblClick();
    void KeyPress(int keyAscii);

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool viewportEvent(QEvent* e) override;

private:
    void appendFolded(const QString& text) const;

    // Case-folded copies of the item texts, end to end in one buffer (a search walks them in
    // memory order), and where each row's copy starts (one more: where the last one ends).
    mutable QString m_folded;
    mutable QList<qsizetype> m_starts{0};
    mutable bool m_foldedValid = true;
    std::function<QString(int row)> m_toolTipSource;
};
