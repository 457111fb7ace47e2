// Settings: the program's settings, kept in "config.ini" in the program folder. Every read goes to the file
// and every write goes to it at once; there is no cache. A missing or empty key reads as "error".
#pragma once

#include <QString>

class Settings {
public:
    explicit Settings(QString programFolder);

    QString read(const QString& section, const QString& key) const;
    bool write(const QString& section, const QString& key, const QString& value) const;

    QString path() const { return m_path; }
    const QString& programFolder() const { return m_folder; }

    static constexpr int kMaxValueLength = 949;

private:
    QString m_folder;
    QString m_path;
};
