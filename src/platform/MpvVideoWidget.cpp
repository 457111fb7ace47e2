#include "MpvVideoWidget.h"

#include "MpvGlVideoWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mpv/client.h>
#include <mpv/render.h>

MpvVideoWidget* MpvVideoWidget::create(Backend backend, QWidget* parent) {
    if (backend == Backend::Auto)
        backend = pictureBackend();
    if (backend == Backend::OpenGL && MpvGlVideoWidget::platformHasGlWindows() &&
        !MpvGlVideoWidget::probeRenderer().isEmpty())
        return new MpvGlVideoWidget(parent);
    if (backend == Backend::Software || backend == Backend::OpenGL)
        return new MpvSoftwareVideoWidget(parent);
    return new MpvVideoWidget(parent);
}

MpvVideoWidget::Backend MpvVideoWidget::pictureBackend() {
    if (!MpvGlVideoWidget::platformHasGlWindows())
        return Backend::Software;
    const QByteArray forced = qgetenv("SINTONEX_VIDEO").trimmed().toLower();
    if (forced == "sw")
        return Backend::Software; // and no GL context is ever made
    if (forced != "gl" && !MpvGlVideoWidget::gpuDevicePresent())
        return Backend::Software; // the same, where only the CPU could draw OpenGL
    const QByteArray renderer = MpvGlVideoWidget::probeRenderer();
    if (renderer.isEmpty())
        return Backend::Software;
    if (forced == "gl")
        return Backend::OpenGL;
    return MpvGlVideoWidget::isSoftwareRenderer(renderer) ? Backend::Software : Backend::OpenGL;
}

MpvVideoWidget::MpvVideoWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setMinimumSize(1, 1);
}

MpvVideoWidget::~MpvVideoWidget() = default;

bool MpvVideoWidget::attach(mpv_handle*) {
    return false;
}

void MpvVideoWidget::traceNextFrame() {
    static const bool tracing = qEnvironmentVariableIsSet("SINTONEX_TRACE_FRAMES");
    m_trace = tracing ? Trace::AwaitReconfig : Trace::Off;
}

void MpvVideoWidget::videoReconfigured() {
    if (m_trace == Trace::AwaitReconfig)
        m_trace = Trace::NextFrame;
}

void MpvVideoWidget::frameShown() {
    if (m_trace != Trace::NextFrame)
        return;
    m_trace = Trace::Off;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "sintonex: first frame %lld\n",
                 (long long)now.tv_sec * 1000000 + now.tv_nsec / 1000);
}

void MpvVideoWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
}

void MpvVideoWidget::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        e->accept();
        emit doubleClicked();
        return;
    }
    QWidget::mouseDoubleClickEvent(e);
}

void MpvVideoWidget::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        emit escapePressed();
        return;
    }
    QWidget::keyPressEvent(e);
}

// --- software back end ----------------------------------------------------------------------

namespace {
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
char kPixelFormat[] = "bgr0"; // bytes B G R x: 0xxxRRGGBB as a native 32-bit word
#else
char kPixelFormat[] = "0rgb";
#endif
constexpr size_t kAlign = 64; // what mpv's SIMD paths want for pointer and stride
} // namespace

void MpvSoftwareVideoWidget::AlignedFree::operator()(uchar* p) const {
    std::free(p);
}

MpvSoftwareVideoWidget::MpvSoftwareVideoWidget(QWidget* parent) : MpvVideoWidget(parent) {}

MpvSoftwareVideoWidget::~MpvSoftwareVideoWidget() {
    detach();
}

bool MpvSoftwareVideoWidget::attach(mpv_handle* mpv) {
    detach();
    char apiType[] = MPV_RENDER_API_TYPE_SW;
    mpv_render_param params[] = {{MPV_RENDER_PARAM_API_TYPE, apiType}, {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (mpv_render_context_create(&m_ctx, mpv, params) < 0) {
        m_ctx = nullptr;
        return false;
    }
    mpv_render_context_set_update_callback(m_ctx, &MpvSoftwareVideoWidget::onUpdate, this);
    return true;
}

void MpvSoftwareVideoWidget::detach() {
    if (!m_ctx)
        return;
    // After this returns mpv calls onUpdate no more; a post already queued dies with the widget.
    mpv_render_context_free(m_ctx);
    m_ctx = nullptr;
    m_haveFrame = false;
    m_newFrame = false;
    update();
}

// Called on one of mpv's threads: no mpv calls here, just one queued call at a time.
void MpvSoftwareVideoWidget::onUpdate(void* self) {
    auto* w = static_cast<MpvSoftwareVideoWidget*>(self);
    if (!w->m_updatePosted.exchange(true))
        QMetaObject::invokeMethod(w, &MpvSoftwareVideoWidget::frameReady, Qt::QueuedConnection);
}

void MpvSoftwareVideoWidget::frameReady() {
    m_updatePosted = false;
    if (!m_ctx)
        return;
    if (!(mpv_render_context_update(m_ctx) & MPV_RENDER_UPDATE_FRAME))
        return;
    const QWindow* win = window()->windowHandle();
    if (isVisible() && width() > 0 && height() > 0 && win && win->isExposed()) {
        m_newFrame = true;
        m_haveFrame = true;
        update();
        return;
    }
    // Nobody sees it: take the frame without drawing it, so mpv's video output does not stall.
    int skip = 1;
    mpv_render_param params[] = {{MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    mpv_render_context_render(m_ctx, params);
}

void MpvSoftwareVideoWidget::renderInto(const QSize& size) {
    if (m_image.size() != size) {
        const size_t stride = (size_t(size.width()) * 4 + kAlign - 1) / kAlign * kAlign;
        m_image = QImage();
        m_buffer.reset(static_cast<uchar*>(std::aligned_alloc(kAlign, stride * size_t(size.height()))));
        if (!m_buffer)
            return;
        m_image =
            QImage(m_buffer.get(), size.width(), size.height(), qsizetype(stride), QImage::Format_RGB32);
    }
    int sz[2] = {size.width(), size.height()};
    size_t stride = size_t(m_image.bytesPerLine());
    int block = 0; // never wait for the frame's display time on the GUI thread
    mpv_render_param params[] = {{MPV_RENDER_PARAM_SW_SIZE, sz},
                                 {MPV_RENDER_PARAM_SW_FORMAT, kPixelFormat},
                                 {MPV_RENDER_PARAM_SW_STRIDE, &stride},
                                 {MPV_RENDER_PARAM_SW_POINTER, m_buffer.get()},
                                 {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    mpv_render_context_render(m_ctx, params);
}

void MpvSoftwareVideoWidget::paintEvent(QPaintEvent* e) {
    if (!m_ctx || !m_haveFrame) {
        MpvVideoWidget::paintEvent(e);
        return;
    }
    const qreal dpr = devicePixelRatioF();
    const QSize target = (QSizeF(size()) * dpr).toSize();
    if (target.isEmpty())
        return;
    const bool newFrame = m_newFrame;
    if (m_newFrame || m_image.size() != target) {
        renderInto(target);
        m_newFrame = false;
    }
    QPainter p(this);
    if (m_image.isNull()) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    m_image.setDevicePixelRatio(dpr);
    p.drawImage(QPoint(0, 0), m_image);
    if (newFrame)
        frameShown();
}
