// XSession: a private X server (Xvfb) for end-to-end tests, and what a user does on it: find the
// program's windows by title, click into them, press keys, look at the screen. Input is sent as
// X events to the program's windows, so no window manager and no input tool are needed.
#pragma once

#include <QImage>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

struct xcb_connection_t;

class XSession {
public:
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool ok() const { return m_connection != nullptr; }
    QString error() const { return m_error; }
    QString display() const { return m_display; } // ":N"

    struct Window {
        std::uint32_t id = 0;
        QString title;
        QRect geometry; // on the screen
    };
    // The viewable top-level windows.
    QList<Window> windows() const;
    // Runs the event loop until a viewable window satisfies `match` or `ms` pass.
    std::optional<Window> waitForWindow(const std::function<bool(const Window&)>& match, int ms) const;

    void click(const Window& w, QPoint at);
    void key(const Window& w, std::uint32_t keysym);
    // The window's close box, as a window manager reports it.
    void close(const Window& w);
    QImage grab(const QRect& screenRect) const;

private:
    std::uint8_t keycodeOf(std::uint32_t keysym) const;
    QString titleOf(std::uint32_t window) const;
    std::uint32_t atom(const char* name) const;

    QProcess m_server;
    QString m_display, m_error;
    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_time = 1000; // event times far apart: no two clicks make a double-click
};
