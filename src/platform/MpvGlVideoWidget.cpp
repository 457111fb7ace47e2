#include "MpvGlVideoWidget.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QVBoxLayout>
#include <QWindow>
#include <mpv/client.h>
#include <mpv/render.h>
#include <mpv/render_gl.h>

// The native window mpv draws into. It takes no input (the X server hands clicks and keys to the
// widget beneath), and it redraws mpv's current frame whenever it is uncovered or resized.
class MpvGlVideoWidget::Surface : public QWindow {
public:
    explicit Surface(MpvGlVideoWidget* owner) : m_owner(owner) {
        setSurfaceType(QSurface::OpenGLSurface);
        setFlag(Qt::WindowTransparentForInput);
    }

protected:
    void exposeEvent(QExposeEvent*) override {
        if (isExposed())
            m_owner->present();
    }
    void resizeEvent(QResizeEvent*) override {
        if (isExposed())
            m_owner->present();
    }

private:
    MpvGlVideoWidget* m_owner;
};

MpvGlVideoWidget::MpvGlVideoWidget(QWidget* parent) : MpvVideoWidget(parent) {
    m_surface = new Surface(this);
    m_container = QWidget::createWindowContainer(m_surface, this);
    m_container->setObjectName(QStringLiteral("imagenGL"));
    // Qt routes the clicks to this widget rather than to the container, and focus stays here.
    m_container->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_container->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_container);
}

MpvGlVideoWidget::~MpvGlVideoWidget() {
    detach();
    // The window before the context that drew into it.
    delete m_container;
    m_surface = nullptr;
    delete m_gl;
    delete m_offscreen;
}

bool MpvGlVideoWidget::platformHasGlWindows() {
    if (!qGuiApp)
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

QByteArray MpvGlVideoWidget::probeRenderer() {
    static const QByteArray renderer = []() -> QByteArray {
        if (!platformHasGlWindows())
            return {};
        QOpenGLContext gl;
        gl.setFormat(QSurfaceFormat::defaultFormat());
        if (!gl.create())
            return {};
        QOffscreenSurface surface;
        surface.setFormat(gl.format());
        surface.create();
        if (!surface.isValid() || !gl.makeCurrent(&surface))
            return {};
        const GLubyte* name = gl.functions()->glGetString(GL_RENDERER);
        QByteArray out = name ? QByteArray(reinterpret_cast<const char*>(name)) : QByteArray();
        gl.doneCurrent();
        return out;
    }();
    return renderer;
}

bool MpvGlVideoWidget::gpuDevicePresent() {
    static const bool present = !QDir(QStringLiteral("/dev/dri"))
                                     .entryList({QStringLiteral("renderD*")}, QDir::System | QDir::AllEntries)
                                     .isEmpty() ||
                                QFileInfo::exists(QStringLiteral("/dev/nvidia0"));
    return present;
}

bool MpvGlVideoWidget::isSoftwareRenderer(const QByteArray& glRenderer) {
    const QByteArray r = glRenderer.toLower();
    for (const char* cpu : {"llvmpipe", "softpipe", "swrast", "software rasterizer", "swiftshader"})
        if (r.contains(cpu))
            return true;
    return false;
}

namespace {
void* procAddress(void*, const char* name) {
    QOpenGLContext* gl = QOpenGLContext::currentContext();
    return gl ? reinterpret_cast<void*>(gl->getProcAddress(name)) : nullptr;
}
} // namespace

bool MpvGlVideoWidget::makeCurrent() {
    if (!m_gl)
        return false;
    // The window once it exists (mapped or not): switching surfaces on every frame costs.
    if (m_surface && m_surface->handle())
        return m_gl->makeCurrent(m_surface);
    return m_offscreen && m_gl->makeCurrent(m_offscreen);
}

bool MpvGlVideoWidget::attach(mpv_handle* mpv) {
    detach();
    if (!platformHasGlWindows())
        return false;
    if (!m_gl) {
        m_gl = new QOpenGLContext;
        m_gl->setFormat(QSurfaceFormat::defaultFormat());
        if (!m_gl->create()) {
            delete m_gl;
            m_gl = nullptr;
            return false;
        }
        m_offscreen = new QOffscreenSurface;
        m_offscreen->setFormat(m_gl->format());
        m_offscreen->create();
        m_surface->setFormat(m_gl->format());
    }
    if (!makeCurrent())
        return false;
    char apiType[] = MPV_RENDER_API_TYPE_OPENGL;
    mpv_opengl_init_params init{&procAddress, nullptr};
    mpv_render_param params[] = {{MPV_RENDER_PARAM_API_TYPE, apiType},
                                 {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &init},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (mpv_render_context_create(&m_ctx, mpv, params) < 0) {
        m_ctx = nullptr;
        return false;
    }
    mpv_render_context_set_update_callback(m_ctx, &MpvGlVideoWidget::onUpdate, this);
    return true;
}

void MpvGlVideoWidget::detach() {
    if (!m_ctx)
        return;
    // mpv frees its textures and buffers here, so the context it made them in must be current.
    // After this returns mpv calls onUpdate no more; a post already queued finds m_ctx null.
    makeCurrent();
    mpv_render_context_free(m_ctx);
    m_ctx = nullptr;
    m_gl->doneCurrent();
}

// Called on one of mpv's threads: no mpv calls here, just one queued call at a time.
void MpvGlVideoWidget::onUpdate(void* self) {
    auto* w = static_cast<MpvGlVideoWidget*>(self);
    if (!w->m_updatePosted.exchange(true))
        QMetaObject::invokeMethod(w, &MpvGlVideoWidget::frameReady, Qt::QueuedConnection);
}

void MpvGlVideoWidget::frameReady() {
    m_updatePosted = false;
    if (!m_ctx || !makeCurrent())
        return;
    if (!(mpv_render_context_update(m_ctx) & MPV_RENDER_UPDATE_FRAME))
        return;
    if (onScreen())
        present();
    else
        skipFrame();
}

bool MpvGlVideoWidget::onScreen() const {
    return m_surface && isVisible() && m_surface->isExposed() && m_surface->width() > 0 &&
           m_surface->height() > 0;
}

void MpvGlVideoWidget::present() {
    if (!m_ctx || !onScreen() || !m_gl->makeCurrent(m_surface))
        return;
    const qreal dpr = m_surface->devicePixelRatio();
    mpv_opengl_fbo fbo{int(m_gl->defaultFramebufferObject()), int(m_surface->width() * dpr),
                       int(m_surface->height() * dpr), 0};
    int flip = 1;  // mpv draws top-down, a window's framebuffer is bottom-up
    int block = 0; // never wait for the frame's display time on the GUI thread
    mpv_render_param params[] = {{MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
                                 {MPV_RENDER_PARAM_FLIP_Y, &flip},
                                 {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    mpv_render_context_render(m_ctx, params);
    m_gl->swapBuffers(m_surface);
    mpv_render_context_report_swap(m_ctx);
    ++m_framesShown;
}

void MpvGlVideoWidget::skipFrame() {
    int skip = 1;
    mpv_render_param params[] = {{MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    mpv_render_context_render(m_ctx, params);
}
