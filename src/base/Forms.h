// Forms: the window registry. It owns every window and gives the program its run semantics:
// asking for a window that is not loaded loads it hidden (its load handler runs); unloading runs
// the unload handler; the run ends when the last loaded window is unloaded (hidden ones count),
// or at once through endProgram(). Windows reach each other only through here. GUI thread only.
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

struct Platform;
class Forms;
class Settings;
class Endpoints;
class SongHistory;

// Base of every window. Geometry that the windows reason about is in twips.
class Form : public QWidget {
    Q_OBJECT
public:
    Form(Forms& forms, const QString& name, QWidget* parent = nullptr);
    ~Form() override;

    const QString& formName() const { return m_name; }
    Forms& forms() const { return m_forms; }
    Platform& platform() const;
    const Settings& settings() const;
    const Endpoints& endpoints() const;

    virtual void Form_Load() {}
    virtual void Form_Unload() {}

    QString Caption() const { return windowTitle(); }
    void setCaption(const QString& c) { setWindowTitle(c); }

    int Top() const;
    int Left() const;
    int Width() const;
    int Height() const;
    void setTop(int twips);
    void setLeft(int twips);
    void setSizeTwips(int width, int height);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    Forms& m_forms;
    QString m_name;
};

class Forms : public QObject {
    Q_OBJECT
public:
    explicit Forms(Platform& platform, QObject* parent = nullptr);
    ~Forms() override;

    Platform& platform() const { return m_platform; }
    const Settings& settings() const { return *m_settings; }
    const Endpoints& endpoints() const { return *m_endpoints; }
    // The songs the stations announced, kept in the program folder; the file is opened when first
    // read or written, so a run that plays no titled stream never makes one.
    SongHistory& history();

    using Factory = std::function<Form*(Forms&)>;
    void registerForm(const QString& name, Factory factory);
    template <class T> void add() {
        registerForm(QString::fromLatin1(T::kName), [](Forms& f) { return new T(f); });
    }

    // The window, loaded hidden first when it is not loaded. Null only for an unknown name.
    Form* form(const QString& name);
    template <class T> T& get() { return *static_cast<T*>(form(QString::fromLatin1(T::kName))); }
    // The window if it is loaded, else null; never loads.
    Form* find(const QString& name) const;
    template <class T> T* find() const { return static_cast<T*>(find(QString::fromLatin1(T::kName))); }
    bool isLoaded(const QString& name) const { return find(name) != nullptr; }

    // A control of another window by its name (controls' objectNames are their design names).
    // control() loads the window hidden when needed, as touching a control does; loadedControl()
    // only looks into a window that is already loaded.
    template <class T> T* control(const QString& form, const QString& name) {
        Form* f = this->form(form);
        return f ? f->findChild<T*>(name) : nullptr;
    }
    template <class T> T* loadedControl(const QString& form, const QString& name) const {
        Form* f = find(form);
        return f ? f->findChild<T*>(name) : nullptr;
    }

    // An object shared by the windows that lives as long as the registry (the guide's data, the
    // scheduled recordings); null when the run has none.
    template <class T> T* shared() const { return findChild<T*>(QString(), Qt::FindDirectChildrenOnly); }

    void show(const QString& name);
    void hide(const QString& name);
    void unload(const QString& name);
    void unload(Form* form);
    // Ends the run at once: every window closes without running further handlers.
    void endProgram();

    QList<Form*> loaded() const { return m_order; }
    bool ended() const { return m_ended; }

signals:
    void formLoaded(const QString& name);
    void formUnloaded(const QString& name);
    void runEnded();

private:
    void checkRunEnd();

    Platform& m_platform;
    Settings* m_settings;
    Endpoints* m_endpoints;
    SongHistory* m_history = nullptr;
    QHash<QString, Factory> m_factories;
    QHash<QString, Form*> m_loaded;
    QList<Form*> m_order;
    QList<Form*> m_unloading;
    bool m_ended = false;
};

// Twips (1/1440 inch) to pixels and back, at the screen's logical resolution.
namespace twips {
int toPx(int twips);
int fromPx(int px);
} // namespace twips
