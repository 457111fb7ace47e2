#include "ProgramFolder.h"

#include "Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef SINTONEX_INSTALLED_DATA
#define SINTONEX_INSTALLED_DATA "../share/sintonex"
#endif
#ifndef SINTONEX_INSTALLED_LIB
#define SINTONEX_INSTALLED_LIB "../lib/sintonex"
#endif

namespace {
// The lists an install puts into the data folder, with the version they were published as.
const QString kLists = QStringLiteral("lists");
const QString kListVersion = QStringLiteral("list-version");
} // namespace

ProgramFolder ProgramFolder::choose(const QString& executableDir, const QString& dataHome) {
    ProgramFolder f;
    f.m_libraryDir = executableDir;
    const QString data =
        QDir::cleanPath(executableDir + QLatin1Char('/') + QLatin1String(SINTONEX_INSTALLED_DATA));
    const bool installed = QFileInfo(data + QLatin1Char('/') + kLists).isDir();
    // Root may write anywhere, so writability alone does not tell an installed program.
    if (!installed && QFileInfo(executableDir).isWritable()) {
        f.m_path = executableDir;
        return f;
    }
    f.m_installed = true;
    if (installed) {
        f.m_dataDir = data;
        f.m_libraryDir =
            QDir::cleanPath(executableDir + QLatin1Char('/') + QLatin1String(SINTONEX_INSTALLED_LIB));
    }
    f.m_path = QDir::cleanPath(dataHome + QStringLiteral("/sintonex"));
    return f;
}

ProgramFolder ProgramFolder::forThisProgram() {
    return choose(QCoreApplication::applicationDirPath(),
                  QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

bool ProgramFolder::prepare(const QStringList& listFiles) const {
    if (!m_installed)
        return true;
    if (!QDir().mkpath(m_path))
        return false;
    if (m_dataDir.isEmpty())
        return true;
    const QString from = m_dataDir + QLatin1Char('/') + kLists + QLatin1Char('/');
    bool placed = false;
    for (const QString& name : listFiles) {
        const QString target = m_path + QLatin1Char('/') + name;
        const QString source = from + name;
        if (!QFileInfo::exists(target) && QFile::copy(source, target)) {
            // Copies keep the installed file's read-only mode; the list update replaces them.
            QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
            placed = true;
        }
    }
    const Settings settings(m_path);
    if (placed && settings.read(QStringLiteral("config"), QStringLiteral("vers_local_canales")) ==
                      QLatin1String("error")) {
        QFile version(from + kListVersion);
        if (version.open(QIODevice::ReadOnly)) {
            const QString v = QString::fromUtf8(version.readAll()).trimmed();
            if (!v.isEmpty())
                settings.write(QStringLiteral("config"), QStringLiteral("vers_local_canales"), v);
        }
    }
    return true;
}
