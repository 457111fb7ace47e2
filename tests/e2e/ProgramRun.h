// ProgramRun: the real `sintonex` program, copied into a folder of its own (its config.ini and
// lists live beside it), or an installed program run as a new user would (a fresh home), on an
// end-to-end test's X server.
#pragma once

#include "XSession.h"
#include "base/Settings.h"
#include "support/TestPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>

class ProgramRun {
public:
    explicit ProgramRun(const QString& installed = {}) {
        if (!installed.isEmpty()) {
            m_path = installed;
            m_installed = true;
            m_copied = QFileInfo(installed).isExecutable() && QDir(m_dir.path()).mkdir("casa");
            return;
        }
        m_path = QDir(m_dir.path()).filePath("sintonex");
        m_copied = QFile::copy(QStringLiteral(SINTONEX_PROGRAM_BIN), m_path) &&
                   QFile::setPermissions(m_path, QFile::permissions(m_path) | QFile::ExeOwner);
    }
    ~ProgramRun() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool copied() const { return m_copied; }
    // Where the program keeps config.ini and the lists.
    QString folder() const { return m_installed ? m_dir.filePath("datos/sintonex") : m_dir.path(); }
    void setting(const QString& key, const QString& value) const {
        Settings(folder()).write("config", key, value);
    }
    // Service and web site where nothing listens: the program runs on with every request failing.
    void withoutService() const {
        setting("servidor", "http://127.0.0.1:9");
        setting("web", "http://127.0.0.1:9");
    }
    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile f(QDir(folder()).filePath(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    // `extra` adds to or replaces the test's own environment.
    void start(const XSession& x, const QMap<QString, QString>& extra = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM"); // the tests' own offscreen setting is not the program's
        env.insert("DISPLAY", x.display());
        if (m_installed) {
            env.insert("HOME", m_dir.filePath("casa"));
            env.insert("XDG_DATA_HOME", m_dir.filePath("datos"));
        }
        for (auto it = extra.begin(); it != extra.end(); ++it)
            env.insert(it.key(), it.value());
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(m_path, {});
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    // Waits up to `ms` for the program to end by itself.
    bool waitForEnd(int ms) {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(ms);
    }
    // Ends it as a desktop's session would.
    bool terminate() {
        m_process.terminate();
        return m_process.waitForFinished(10000);
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
    bool m_copied = false;
    bool m_installed = false;
    QProcess m_process;
};

inline const QString kChooserTitle = QString::fromUtf8("Sintonex - Televisión o radio");

// Design coordinates (twips) of a window to its pixels, scaled as the window was.
inline QPoint at(const XSession::Window& w, int designWidthTwips, int x, int y) {
    const double scale = double(w.geometry.width()) / designWidthTwips;
    return {int(x * scale), int(y * scale)};
}

inline bool titled(const XSession::Window& w, const QString& title) {
    return w.title == title;
}

enum class PlayerChoice { Television, Radio };

// Splash, chooser, "Ver la televisión" or "Escuchar la radio": the player window, or nothing.
inline std::optional<XSession::Window> openPlayerWindow(XSession& x, PlayerChoice choice) {
    if (!x.waitForWindow([](const XSession::Window& w) { return titled(w, "Sintonex"); }, 10000))
        return std::nullopt;
    const auto chooser =
        x.waitForWindow([](const XSession::Window& w) { return titled(w, kChooserTitle); }, 20000);
    if (!chooser)
        return std::nullopt;
    waitFor([] { return false; }, 1500); // the fade-in takes the input for a moment
    // "Ver la televisión" or "Escuchar la radio"
    x.click(*chooser, at(*chooser, 6300, choice == PlayerChoice::Television ? 1650 : 4650, 2887));
    return x.waitForWindow([](const XSession::Window& w) { return w.title.startsWith("Sintonex 2.4.5"); },
                           15000);
}
