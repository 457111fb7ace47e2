// The design of the two player windows: every control and menu item they share a role in, with
// each window's own object name, caption and tooltip, its state at start and its place (twips, within the
// area below the menu bar). One table for both windows, so that the differences stand side by side.
#pragma once

#include <QRect>
#include <QtGlobal>
#include <span>

namespace design {

enum class Which { Tv, Radio };

// Roles of the controls. The window's own name for each is in the table.
enum class Ctl {
    Pause,       // stop/play button "II"
    Record,      // "&Grabar"
    Mini,        // "Ver &Mini"
    Switch,      // to the other player window
    Teletext,    // TV only
    Chat,        // "C&hat"
    LeaveChat,   // "&Salir Chat"
    HideList,    // "->"
    ShowList,    // "<-"
    Lyrics,      // radio only, below the visible area
    TestStation, // radio only, below the visible area
    Notice,      // update notice
    WebHost,     // the web site's host name
    StatusHeading,
    StatusLine,
    ChannelName, // hidden; scrolled into the caption
    TopMirror,   // hidden; the window's top
    LeftMirror,  // hidden; the window's left
    VersionReply,
    NowPlaying, // radio only, below the visible area
    PlayState,
    PauseState,
    PlayPicture,
    StopPicture,
    Enlarge,
    Option,            // the search box's placeholder latch, outside the visible area
    PageFrame,         // radio only: frame around the page area
    StreamAddress,     // TV only: hidden text box with the address handed to the recorder
    Programme,         // TV only: the playing channel's current programme, where the notice sits
    ProgrammeProgress, // TV only: how far into it
};

enum class Kind { Button, Label, Picture, Option, Frame, TextBox, Progress };
enum class Start { Shown, Hidden, Disabled };

struct Face {
    const char* name; // nullptr: the window has no such control or menu item
    const char* caption;
    const char* tip;
};

struct ControlDesign {
    Ctl role;
    Kind kind;
    Face tv;
    Face radio;
    Start start;
    QRect twips; // left, top, width, height
    const Face& face(Which w) const { return w == Which::Tv ? tv : radio; }
};

std::span<const ControlDesign> controls();

enum class Menu {
    None,
    Config,
    UpdateLists,
    OwnLists,
    Bar1,
    Teletext,
    Guide, // TV only
    Skin,
    History, // radio only: "Canciones escuchadas"
    WindowMode,
    Normal,
    AlwaysVisible,
    Others,
    Recommend,
    Invite,
    Bar2,
    CheckUpdate,
    Bar3,
    Exit,
    Help,
    Donate,
    Bar4,
    Support,
    Bar5,
    Forum,
    OnlineHelp,
    Report,
    Bar6,
    Credits,
};

struct MenuDesign {
    Menu role;
    Menu parent; // None for the menu bar's menus
    Face tv;
    Face radio;
    const Face& face(Which w) const { return w == Which::Tv ? tv : radio; }
};

// In menu order; a parent comes before its items.
std::span<const MenuDesign> menus();

// Places and sizes shared by both windows, in twips.
constexpr int kWindowWidth = 8745;
constexpr int kWindowHeight = 7550;
constexpr QRect kPlayerArea{120, 360, 5895, 4440};
constexpr QRect kVolumeArea{3480, 4920, 2535, 420};
constexpr QRect kSearchBox{6120, 60, 2505, 315};
constexpr QRect kChannelList{6120, 420, 2505, 5775};
// The list panel's slide: list left edge and player width, shown and at their limits.
constexpr int kListShownLeft = 6120;
constexpr int kListMaxLeft = 8880;
constexpr int kPlayerShownWidth = 5895;
constexpr int kPlayerMaxWidth = 8450;

} // namespace design
