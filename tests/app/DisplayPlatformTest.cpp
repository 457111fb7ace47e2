// Which window system the program asks Qt for, in the sessions Linux desktops offer.
#include "app/DisplayPlatform.h"

#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>

namespace {

// The platform asked of Qt in a session with these variables ("" for none; null: unset). The
// choice is the program's alone: QT_QPA_PLATFORM, which what it starts would inherit, stays as it
// was. The test's own environment is given back afterwards.
QByteArray chosenFor(const char* qpa, const char* wayland, const char* x11, const char* type = nullptr) {
    const char* names[] = {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY", "XDG_SESSION_TYPE"};
    const char* values[] = {qpa, wayland, x11, type};
    QByteArray saved[4];
    for (int i = 0; i < 4; ++i) {
        saved[i] = qgetenv(names[i]);
        values[i] ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
    }
    const QByteArray chosen = displayPlatformFor();
    EXPECT_EQ(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"), qpa != nullptr);
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), QByteArray(qpa));
    for (int i = 0; i < 4; ++i)
        saved[i].isEmpty() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
    if (qpa && *qpa) {
        EXPECT_TRUE(chosen.isEmpty()) << "the user's own choice stands";
        return qpa;
    }
    return chosen;
}

} // namespace

TEST(DisplayPlatform, AWaylandSessionWithXWaylandRunsThroughX11UnlessTheUserChose) {
    EXPECT_EQ(chosenFor(nullptr, "wayland-0", ":0"), "xcb");
    EXPECT_EQ(chosenFor("", "wayland-0", ":0"), "xcb") << "an empty choice is no choice";
    EXPECT_EQ(chosenFor(nullptr, nullptr, ":0", "wayland"), "xcb") << "the session type alone names Wayland";
    EXPECT_EQ(chosenFor("wayland", "wayland-0", ":0"), "wayland");
    EXPECT_EQ(chosenFor("offscreen", "wayland-0", ":0"), "offscreen");
    // Everything else is left to Qt: native Wayland without XWayland, X11 alone, no display.
    EXPECT_EQ(chosenFor(nullptr, "wayland-0", nullptr), "");
    EXPECT_EQ(chosenFor(nullptr, nullptr, ":0"), "");
    EXPECT_EQ(chosenFor(nullptr, nullptr, nullptr), "");
}
