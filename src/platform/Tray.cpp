#include "Tray.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {

class SystemTray : public Tray {
public:
    bool isAvailable() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }

    void addIcon(const QIcon& icon, const QString& tip) override {
        if (m_icon)
            return;
        // A tray entry without a picture is invisible on most desktops, and then the hidden radio
        // window could not be reached.
        const QIcon shown = icon.isNull() ? QApplication::windowIcon() : icon;
        m_icon = new QSystemTrayIcon(shown, this);
        m_icon->setToolTip(tip);
        connect(m_icon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) { emit clicked(clickOf(reason)); });
        m_icon->show();
    }

    void removeIcon() override {
        if (!m_icon)
            return;
        m_icon->hide();
        delete m_icon;
        m_icon = nullptr;
    }

    bool hasIcon() const override { return m_icon != nullptr; }

    // Not exec(): a choice may unload the menu's window, which must not happen under a nested loop
    // that still uses the menu.
    void popupMenu(QMenu* menu) override {
        if (menu)
            menu->popup(QCursor::pos());
    }

private:
    static Click clickOf(QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            return Click::LeftPress;
        case QSystemTrayIcon::Context:
            return Click::RightPress;
        case QSystemTrayIcon::DoubleClick:
            return Click::DoubleClick;
        default:
            return Click::Other;
        }
    }

    QSystemTrayIcon* m_icon = nullptr;
};

} // namespace

std::unique_ptr<Tray> makeSystemTray() {
    return std::make_unique<SystemTray>();
}
