// LazyPageBrowser: the visible page browser of the program, with Qt WebEngine kept out of the
// process until a real page is first shown. Mapping the engine's libraries and the OpenGL context
// the engine shares (a software renderer of some 60 MiB on a machine without a GPU) costs more
// than the whole player, so both wait for the first page: the engine lives in a module
// (libsintonex_web.so) loaded then. Blank pages complete without it, as the engine's own browser
// does. GUI thread only.
#pragma once

#include "WebBrowser.h"

#include <QPointer>
#include <QStringList>

struct Platform;

class LazyPageBrowser : public WebBrowser {
    Q_OBJECT
public:
    // `modulePath`: the engine module to load on the first real page.
    LazyPageBrowser(QWidget* parent, QString modulePath);
    ~LazyPageBrowser() override;

    void Navigate(const QString& url) override;
    void setSilent(bool on) override;
    bool silent() const override { return m_silent; }
    QString innerText() const override;
    QString LocationURL() const override;
    QString LocationName() const override;
    void GoBack() override;
    void Refresh() override;
    QWidget* widget() override { return m_container; }

    bool engineLoaded() const { return m_engine != nullptr; }

    // The engine module's entry point: a visible browser inside `container`, or null.
    using Factory = WebBrowser* (*)(QWidget* container);
    static constexpr const char* kFactorySymbol = "sintonexCreatePageBrowser";

private:
    bool startEngine();

    QString m_modulePath;
    QPointer<QWidget> m_container;
    WebBrowser* m_engine = nullptr;
    bool m_engineFailed = false;
    bool m_silent = false;
    QString m_blankUrl;
    quint64 m_blankLoad = 0;
};

// Makes the platform's visible browsers lazy WebEngine pages when the module is found: beside the
// program first, then in `buildDir` (a program run from its build tree, or a copy of it).
void installLazyWebPages(Platform& platform, const QString& programDir, const QString& buildDir);
