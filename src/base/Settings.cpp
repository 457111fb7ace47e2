#include "Settings.h"

#include "platform/ProfileStrings.h"

#include <QDir>

Settings::Settings(QString programFolder)
    : m_folder(std::move(programFolder)), m_path(QDir(m_folder).filePath(QStringLiteral("config.ini"))) {}

QString Settings::read(const QString& section, const QString& key) const {
    const QString v = profile::read(m_path, section, key);
    if (v.isEmpty())
        return QStringLiteral("error");
    return v.left(kMaxValueLength);
}

bool Settings::write(const QString& section, const QString& key, const QString& value) const {
    return profile::write(m_path, section, key, value);
}
