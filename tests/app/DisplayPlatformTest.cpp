// Which window system the program asks Qt for, in the sessions Linux desktops offer.
#include "app/DisplayPlatform.h"

#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>
#include <optional>

namespace {

const char* const kVariables[] = {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY", "XDG_SESSION_TYPE"};

// The platform chosen for a session with these variables (null: unset); none when none was set.
std::optional<QByteArray> chosenFor(const char* qpa, const char* wayland, const char* x11,
                                    const char* sessionType = nullptr) {
    const char* values[] = {qpa, wayland, x11, sessionType};
    QByteArray saved[4];
    bool had[4];
    for (int i = 0; i < 4; ++i) {
        had[i] = qEnvironmentVariableIsSet(kVariables[i]);
        saved[i] = qgetenv(kVariables[i]);
        if (values[i])
            qputenv(kVariables[i], values[i]);
        else
            qunsetenv(kVariables[i]);
    }
    chooseDisplayPlatform();
    std::optional<QByteArray> chosen;
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        chosen = qgetenv("QT_QPA_PLATFORM");
    for (int i = 0; i < 4; ++i) {
        if (had[i])
            qputenv(kVariables[i], saved[i]);
        else
            qunsetenv(kVariables[i]);
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
}

TEST(DisplayPlatform, OtherSessionsAreLeftToQt) {
    EXPECT_EQ(chosenFor(nullptr, "wayland-0", nullptr), std::nullopt) << "no XWayland: native Wayland";
    EXPECT_EQ(chosenFor(nullptr, nullptr, ":0"), std::nullopt);
    EXPECT_EQ(chosenFor(nullptr, nullptr, nullptr), std::nullopt);
}
