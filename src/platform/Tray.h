// Tray: the program's one icon in the desktop's notification area. The icon is only ever added
// and removed, never changed, so its tip stays the text it had when it was added. The real one is
// QSystemTrayIcon; tests use a recording double. GUI thread only.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <memory>

class QMenu;

class Tray : public QObject {
    Q_OBJECT
public:
    // Mouse activity on the icon, as the desktop reports it.
    enum class Click { LeftPress, RightPress, DoubleClick, Other };
    Q_ENUM(Click)

    using QObject::QObject;
    ~Tray() override = default;

    // Whether the desktop has a notification area at all.
    virtual bool isAvailable() const = 0;
    // Puts the icon in. When it is in already nothing changes, the tip included.
    virtual void addIcon(const QIcon& icon, const QString& tip) = 0;
    virtual void removeIcon() = 0;
    virtual bool hasIcon() const = 0;
    // Pops `menu` up at the mouse position; its items' triggered signals carry the choice.
    virtual void popupMenu(QMenu* menu) = 0;

signals:
    void clicked(Tray::Click click);
};

// The desktop's notification area through QSystemTrayIcon.
std::unique_ptr<Tray> makeSystemTray();
