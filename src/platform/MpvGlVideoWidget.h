// MpvGlVideoWidget: the OpenGL render back end of the mpv player, for machines whose OpenGL is a
// real GPU. mpv draws each frame with OpenGL straight into a native child window (a QWindow inside
// a window container) and the frame is swapped onto the screen; nothing is copied through memory.
//
// The GL context is the widget's own and is created in attach(), before the window was ever
// shown: mpv's video output needs its render context the moment a file's video starts, and the
// player windows are loaded hidden and may start playing before they appear. (QOpenGLWidget and
// QOpenGLWindow create their context only when first exposed; QOpenGLWidget also throws it away
// when it moves to another top-level window, which froze the picture on the full-screen toggle.)
// The context outlives every move of the native window between top-levels, so the full-screen
// toggle needs no new render context.
//
// Input passes through the native window to this widget, so a double-click or Escape on the
// picture reaches the player as with the software back end.
// GUI thread only, except the render update callback, which only posts to the GUI thread.
#pragma once

#include "MpvVideoWidget.h"

#include <QByteArray>
#include <atomic>

class QOffscreenSurface;
class QOpenGLContext;

class MpvGlVideoWidget : public MpvVideoWidget {
    Q_OBJECT
public:
    explicit MpvGlVideoWidget(QWidget* parent = nullptr);
    ~MpvGlVideoWidget() override;

    bool attach(mpv_handle* mpv) override;
    void detach() override;

    // Frames put on the screen since the widget was made; for diagnostics and tests.
    quint64 framesShown() const { return m_framesShown; }

    // False where no GL window may be made at all: Qt's "offscreen" and "minimal" platforms
    // (a GL widget there crashes Qt 6.4).
    static bool platformHasGlWindows();
    // The GL_RENDERER of a context made the way attach() makes one, or empty when none can be
    // made current. Probed once per process.
    static QByteArray probeRenderer();
    // Whether the machine has a GPU that OpenGL could draw with (a DRM render node, or NVIDIA's
    // own device). Without one OpenGL can only be drawn by the CPU, and finding that out by
    // making a context would map Mesa's software rasterizer and LLVM (tens of MiB) for nothing.
    static bool gpuDevicePresent();
    // llvmpipe, softpipe, swrast and friends: OpenGL drawn by the CPU, where the software back
    // end costs far less.
    static bool isSoftwareRenderer(const QByteArray& glRenderer);

private:
    class Surface;
    friend class Surface;

    static void onUpdate(void* self);
    void frameReady();
    bool onScreen() const;
    void present();     // draws mpv's current frame into the window and swaps it in
    void skipFrame();   // takes a frame nobody will see, so mpv's video output does not stall
    bool makeCurrent(); // on the window once it exists, else on the offscreen surface

    Surface* m_surface = nullptr;
    QWidget* m_container = nullptr;
    QOpenGLContext* m_gl = nullptr;
    QOffscreenSurface* m_offscreen = nullptr;
    mpv_render_context* m_ctx = nullptr;
    std::atomic<bool> m_updatePosted{false};
    quint64 m_framesShown = 0;
};
