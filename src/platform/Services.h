// The small outside services the windows use besides the player and the browsers. Each has one
// real implementation (RealServices.cpp) and, for tests, doubles that script or record.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QWidget;

// Addresses can come from a downloaded channel list: only web pages may be opened or shown, never
// files, scripts or other handlers a desktop may have.
inline bool isWebPage(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

// Message-box styles and answers as the windows use them.
namespace MsgStyle {
constexpr int OkOnly = 0;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int YesNo = 4;
constexpr int YesNoQuestion = 36;
} // namespace MsgStyle
constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// The program's default message-box title.
inline const char* const kDefaultTitle = "Sintonex";

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Returns kAnswerOk, kAnswerYes or kAnswerNo. An empty title means the default title.
    virtual int MsgBox(const QString& prompt, int style = MsgStyle::OkOnly, const QString& title = {}) = 0;
    // Returns the chosen file, or "" when cancelled. `filter` is in Qt's dialog format.
    virtual QString openFile(QWidget* owner, const QString& filter) = 0;
    // Returns the chosen folder, or "" when cancelled.
    virtual QString chooseFolder(QWidget* owner, const QString& title) = 0;
    // Returns the file to write, or "" when cancelled; `suggested` is the path offered first.
    virtual QString saveFile(QWidget* owner, const QString& title, const QString& suggested,
                             const QString& filter) = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Opens an address in the user's default browser (or a file with its default handler).
    virtual void open(const QString& address) = 0;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    virtual void setTopmost(QWidget* window, bool on) = 0;
    virtual void setOpacity(QWidget* window, int alpha0to255) = 0;
    // Starts moving the window with the mouse, as a drag of its title bar would.
    virtual void startDrag(QWidget* window) = 0;
};
