#include "Forms.h"

#include "Endpoints.h"
#include "ProgramIcon.h"
#include "Settings.h"
#include "SongHistory.h"
#include "platform/Platform.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace twips {
namespace {
double twipsPerPx() {
    const QScreen* s = QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}
} // namespace
int toPx(int t) {
    return int(std::lround(t / twipsPerPx()));
}
int fromPx(int px) {
    return int(std::lround(px * twipsPerPx()));
}
} // namespace twips

Form::Form(Forms& forms, const QString& name, QWidget* parent)
    : QWidget(parent), m_forms(forms), m_name(name) {
    setObjectName(name);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

Form::~Form() = default;

Platform& Form::platform() const {
    return m_forms.platform();
}
const Settings& Form::settings() const {
    return m_forms.settings();
}
const Endpoints& Form::endpoints() const {
    return m_forms.endpoints();
}

int Form::Top() const {
    return twips::fromPx(pos().y());
}
int Form::Left() const {
    return twips::fromPx(pos().x());
}
int Form::Width() const {
    return twips::fromPx(width());
}
int Form::Height() const {
    return twips::fromPx(height());
}
void Form::setTop(int t) {
    move(pos().x(), twips::toPx(t));
}
void Form::setLeft(int t) {
    move(twips::toPx(t), pos().y());
}
void Form::setSizeTwips(int w, int h) {
    resize(twips::toPx(w), twips::toPx(h));
}

void Form::closeEvent(QCloseEvent* e) {
    // The close box unloads the window through the registry, so its unload handler runs.
    e->ignore();
    m_forms.unload(this);
}

Forms::Forms(Platform& platform, QObject* parent)
    : QObject(parent), m_platform(platform), m_settings(new Settings(platform.programFolder)),
      m_endpoints(new Endpoints(*m_settings, &platform.bundledService)) {
    // Windows without an icon of their own, message boxes included, take the application's.
    QGuiApplication::setWindowIcon(programIcon());
}

Forms::~Forms() {
    m_ended = true;
    const auto forms = m_order;
    m_order.clear();
    m_loaded.clear();
    qDeleteAll(forms);
    delete m_history; // after the windows that show it; what was handed to it is written first
    delete m_endpoints;
    delete m_settings;
}

SongHistory& Forms::history() {
    if (!m_history)
        m_history = new SongHistory(m_platform.programFolder);
    return *m_history;
}

void Forms::registerForm(const QString& name, Factory factory) {
    m_factories.insert(name, std::move(factory));
}

Form* Forms::find(const QString& name) const {
    return m_loaded.value(name, nullptr);
}

Form* Forms::form(const QString& name) {
    if (Form* f = find(name))
        return f;
    if (m_ended)
        return nullptr;
    auto it = m_factories.constFind(name);
    if (it == m_factories.constEnd())
        return nullptr;
    Form* f = (*it)(*this);
    // Registered before its load handler runs, so a window touched during that load is this one.
    m_loaded.insert(name, f);
    m_order.append(f);
    f->Form_Load();
    emit formLoaded(name);
    return find(name); // the load handler may have unloaded it again
}

void Forms::show(const QString& name) {
    if (Form* f = form(name)) {
        f->show();
        f->raise();
        f->activateWindow();
    }
}

void Forms::hide(const QString& name) {
    if (Form* f = find(name))
        f->hide();
}

void Forms::unload(const QString& name) {
    if (Form* f = find(name))
        unload(f);
}

void Forms::unload(Form* f) {
    if (!f || m_unloading.contains(f) || !m_order.contains(f))
        return;
    m_unloading.append(f);
    f->Form_Unload();
    m_unloading.removeAll(f);
    if (!m_order.contains(f)) // ended meanwhile
        return;
    m_loaded.remove(f->formName());
    m_order.removeAll(f);
    f->hide();
    f->deleteLater();
    emit formUnloaded(f->formName());
    checkRunEnd();
}

void Forms::endProgram() {
    if (m_ended)
        return;
    m_ended = true;
    const auto forms = m_order;
    m_order.clear();
    m_loaded.clear();
    for (Form* f : forms) {
        f->hide();
        f->deleteLater();
    }
    emit runEnded();
}

void Forms::checkRunEnd() {
    if (!m_ended && m_order.isEmpty()) {
        m_ended = true;
        emit runEnded();
    }
}
