#include "sistema_ini.h"

#include "platform/ProfileStrings.h"

#include <QDir>

sistema_ini::sistema_ini(QString programFolder)
    : m_folder(std::move(programFolder)), m_path(QDir(m_folder).filePath(QStringLiteral("config.ini"))) {}

QString sistema_ini::LeeIni(const QString& section, const QString& key) const {
    const QString v = profile::read(m_path, section, key);
    if (v.isEmpty())
        return QStringLiteral("error");
    return v.left(kMaxValueLength);
}

bool sistema_ini::EscribeIni(const QString& section, const QString& key, const QString& value) const {
    return profile::write(m_path, section, key, value);
}
