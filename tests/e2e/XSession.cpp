#include "XSession.h"

#include "support/TestPlatform.h"

#include <QStandardPaths>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {

template <class T> struct Reply {
    T* p;
    ~Reply() { std::free(p); }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

} // namespace

XSession::XSession() {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        m_error = QStringLiteral("Xvfb is not installed");
        return;
    }
    // -displayfd: the server picks a free display and writes its number to our pipe.
    m_server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                          QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                          QStringLiteral("tcp")});
    QByteArray number;
    waitFor(
        [&] {
            number += m_server.readAllStandardOutput();
            return number.contains('\n') || m_server.state() == QProcess::NotRunning;
        },
        10000);
    if (!number.contains('\n')) {
        m_error =
            QStringLiteral("Xvfb did not start: ") + QString::fromLocal8Bit(m_server.readAllStandardError());
        return;
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    int screen = 0;
    xcb_connection_t* c = xcb_connect(m_display.toLatin1().constData(), &screen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        m_error = QStringLiteral("cannot connect to ") + m_display;
        return;
    }
    m_connection = c;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

XSession::~XSession() {
    if (m_connection)
        xcb_disconnect(m_connection);
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(3000))
            m_server.kill();
        m_server.waitForFinished(3000);
    }
}

std::uint32_t XSession::atom(const char* name) const {
    Reply<xcb_intern_atom_reply_t> r{xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, std::strlen(name), name), nullptr)};
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QString XSession::titleOf(std::uint32_t window) const {
    Reply<xcb_get_property_reply_t> r{xcb_get_property_reply(
        m_connection,
        xcb_get_property(m_connection, 0, window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 0, 1024),
        nullptr)};
    if (!r)
        return {};
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(r.p)),
                             xcb_get_property_value_length(r.p));
}

QList<XSession::Window> XSession::windows() const {
    QList<Window> out;
    if (!m_connection)
        return out;
    Reply<xcb_query_tree_reply_t> tree{
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr)};
    if (!tree)
        return out;
    const xcb_window_t* children = xcb_query_tree_children(tree.p);
    for (int i = 0; i < xcb_query_tree_children_length(tree.p); ++i) {
        const xcb_window_t id = children[i];
        Reply<xcb_get_window_attributes_reply_t> attributes{xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, id), nullptr)};
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        Reply<xcb_get_geometry_reply_t> g{
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, id), nullptr)};
        if (!g)
            continue;
        out.append({id, titleOf(id), QRect(g->x, g->y, g->width, g->height)});
    }
    return out;
}

std::optional<XSession::Window> XSession::waitForWindow(const std::function<bool(const Window&)>& match,
                                                        int ms) const {
    std::optional<Window> found;
    waitFor(
        [&] {
            for (const Window& w : windows()) {
                if (match(w)) {
                    found = w;
                    return true;
                }
            }
            return false;
        },
        ms);
    return found;
}

void XSession::click(const Window& w, QPoint at) {
    for (const bool press : {true, false}) {
        xcb_button_press_event_t e{};
        e.response_type = press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE;
        e.detail = 1;
        e.time = m_time += 1000;
        e.root = m_root;
        e.event = w.id;
        e.root_x = std::int16_t(w.geometry.x() + at.x());
        e.root_y = std::int16_t(w.geometry.y() + at.y());
        e.event_x = std::int16_t(at.x());
        e.event_y = std::int16_t(at.y());
        e.state = press ? 0 : XCB_BUTTON_MASK_1;
        e.same_screen = 1;
        xcb_send_event(m_connection, 0, w.id,
                       press ? XCB_EVENT_MASK_BUTTON_PRESS : XCB_EVENT_MASK_BUTTON_RELEASE,
                       reinterpret_cast<const char*>(&e));
    }
    xcb_flush(m_connection);
}

std::uint8_t XSession::keycodeOf(std::uint32_t keysym) const {
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    Reply<xcb_get_keyboard_mapping_reply_t> map{xcb_get_keyboard_mapping_reply(
        m_connection, xcb_get_keyboard_mapping(m_connection, setup->min_keycode, count), nullptr)};
    if (!map)
        return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.p);
    for (int i = 0; i < count * map->keysyms_per_keycode; ++i) {
        if (syms[i] == keysym)
            return std::uint8_t(setup->min_keycode + i / map->keysyms_per_keycode);
    }
    return 0;
}

void XSession::key(const Window& w, std::uint32_t keysym) {
    const std::uint8_t code = keycodeOf(keysym);
    for (const bool press : {true, false}) {
        xcb_key_press_event_t e{};
        e.response_type = press ? XCB_KEY_PRESS : XCB_KEY_RELEASE;
        e.detail = code;
        e.time = m_time += 100;
        e.root = m_root;
        e.event = w.id;
        e.same_screen = 1;
        xcb_send_event(m_connection, 0, w.id, press ? XCB_EVENT_MASK_KEY_PRESS : XCB_EVENT_MASK_KEY_RELEASE,
                       reinterpret_cast<const char*>(&e));
    }
    xcb_flush(m_connection);
}

void XSession::close(const Window& w) {
    // What a window manager sends for the close box.
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = w.id;
    e.type = atom("WM_PROTOCOLS");
    e.data.data32[0] = atom("WM_DELETE_WINDOW");
    e.data.data32[1] = m_time += 100;
    xcb_send_event(m_connection, 0, w.id, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&e));
    xcb_flush(m_connection);
}

QImage XSession::grab(const QRect& r) const {
    if (!m_connection)
        return {};
    Reply<xcb_get_image_reply_t> image{xcb_get_image_reply(
        m_connection,
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, std::int16_t(r.x()),
                      std::int16_t(r.y()), std::uint16_t(r.width()), std::uint16_t(r.height()), ~0u),
        nullptr)};
    if (!image || xcb_get_image_data_length(image.p) < r.width() * r.height() * 4)
        return {};
    // A 24-bit screen keeps 32 bits a pixel, as QImage's RGB32 does.
    return QImage(xcb_get_image_data(image.p), r.width(), r.height(), r.width() * 4, QImage::Format_RGB32)
        .copy();
}
