// ChannelListBox: the list box `canales` of a player window. Besides the list's own behaviour it
// reports a double-click anywhere in the list (DblClick) and each typed character (KeyPress with
// its character code; Enter is 13), as the windows' handlers expect them.
#pragma once

#include <QListWidget>

class ChannelListBox : public QListWidget {
    Q_OBJECT
public:
    explicit ChannelListBox(QWidget* parent = nullptr);

    // The selected position, or -1 when no item is selected.
    int ListIndex() const;

signals:
    void DblClick();
    void KeyPress(int keyAscii);

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};
