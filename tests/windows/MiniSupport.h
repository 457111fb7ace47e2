// What the mini, enlarged, teletext and tray window tests share: a window system that records
// what the windows ask of it, installed into a ProgramRig.
#pragma once

#include "support/FakePeers.h"

#include <QList>
#include <QWidget>

class RecordingWindowSystem : public WindowSystem {
public:
    struct Call {
        const QWidget* window; // only compared: the window may be gone since
        int value;             // topmost: 1 on, 0 off; opacity: alpha; drag: 0
    };
    void setTopmost(QWidget* w, bool on) override { topmost.append({w, on ? 1 : 0}); }
    void setOpacity(QWidget* w, int alpha) override { opacity.append({w, alpha}); }
    void startDrag(QWidget* w) override { drags.append({w, 0}); }

    // The values asked for one window, in order.
    static QList<int> of(const QList<Call>& calls, const QWidget* w) {
        QList<int> values;
        for (const Call& c : calls)
            if (c.window == w)
                values.append(c.value);
        return values;
    }

    QList<Call> topmost, opacity, drags;
};

inline RecordingWindowSystem& recordWindowSystem(ProgramRig& rig) {
    auto* ws = new RecordingWindowSystem;
    rig.platform->windowSystem.reset(ws);
    return *ws;
}
