// MpvVideoWidget: the picture of an mpv player, and the input on it (double-click, Escape).
// The base class is a black area that draws nothing; a render back end subclass attaches to an mpv
// core and draws its frames. The software back end needs no OpenGL, so it works offscreen and
// behaves as an ordinary widget when hidden or moved to another window; the OpenGL back end
// (MpvGlVideoWidget) is for real GPUs, where it leaves the scaling and conversion to the GPU.
// GUI thread only, except the render update callback, which only posts to the GUI thread.
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>
#include <memory>

struct mpv_handle;
struct mpv_render_context;

class MpvVideoWidget : public QWidget {
    Q_OBJECT
public:
    // Auto: OpenGL where it is a real GPU, software rendering everywhere else (see pictureBackend).
    enum class Backend { None, Software, OpenGL, Auto };

    // OpenGL falls back to Software where no GL window can be made; Auto is resolved first.
    static MpvVideoWidget* create(Backend backend, QWidget* parent = nullptr);
    // The back end Auto stands for here: OpenGL only on a platform with GL windows, with a GL
    // context that can be made current and whose renderer is not drawn by the CPU (llvmpipe costs
    // several times the software back end). The environment variable SINTONEX_VIDEO=gl|sw forces
    // one; "gl" still needs the GL windows and context, so it can never crash an offscreen run.
    static Backend pictureBackend();
    ~MpvVideoWidget() override;

    // Creates the render context on `mpv` (after mpv_initialize, before the first file). Returns
    // false when the back end cannot render there; the widget then stays black.
    virtual bool attach(mpv_handle* mpv);
    // Frees the render context. Must happen before the core is destroyed; idempotent.
    virtual void detach() {}
    // With SINTONEX_TRACE_FRAMES set, the first new frame painted after the next video
    // reconfiguration writes "sintonex: first frame <CLOCK_MONOTONIC µs>" to stderr: the
    // benchmarks time a channel change by it. Called when mpv starts a file of ours.
    void traceNextFrame();
    // mpv set up the picture of the current file: frames painted from now on are that file's, not
    // the previous channel's last one still waiting to be painted.
    void videoReconfigured();

signals:
    void doubleClicked();
    void escapePressed();

protected:
    explicit MpvVideoWidget(QWidget* parent);
    void paintEvent(QPaintEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void frameShown(); // after a new frame was painted

private:
    enum class Trace { Off, AwaitReconfig, NextFrame };
    Trace m_trace = Trace::Off;
};

// Frames rendered by mpv into memory ("bgr0", i.e. QImage::Format_RGB32 on little-endian hosts)
// and painted as an image. Rendering never waits for a frame's display time, so painting never
// blocks the GUI thread; while the widget is hidden frames are consumed without being drawn.
class MpvSoftwareVideoWidget : public MpvVideoWidget {
    Q_OBJECT
public:
    explicit MpvSoftwareVideoWidget(QWidget* parent = nullptr);
    ~MpvSoftwareVideoWidget() override;

    bool attach(mpv_handle* mpv) override;
    void detach() override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    static void onUpdate(void* self);
    void frameReady();
    void renderInto(const QSize& size);

    struct AlignedFree {
        void operator()(uchar* p) const;
    };

    mpv_render_context* m_ctx = nullptr;
    std::atomic<bool> m_updatePosted{false};
    bool m_newFrame = false;
    bool m_haveFrame = false;
    std::unique_ptr<uchar, AlignedFree> m_buffer;
    QImage m_image; // over m_buffer
};
