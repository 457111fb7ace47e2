// ProfileStrings: INI files with the profile-string semantics the settings rely on: section and
// key names matched without regard to case, blanks around names and values ignored, a value in
// matching quotes unquoted, other lines kept byte for byte on write, the file replaced atomically.
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace profile {

// The stored value, or "" when the file, section or key is missing (or the value is empty).
QString read(const QString& path, const QString& section, const QString& key);
// Writes the value, creating the file and the section when missing. False when the file could
// not be written; the previous file is then left as it was.
bool write(const QString& path, const QString& section, const QString& key, const QString& value);

using Keys = QList<QPair<QString, QString>>;
// The names of the file's sections, in file order (each once).
QStringList sections(const QString& path);
// The keys of one section, in file order; empty when it is missing.
Keys readSection(const QString& path, const QString& section);
// Replaces the whole section, comments in it included, with `keys` in one atomic save, appending
// it when missing; empty `keys` removes it. Other sections are kept byte for byte. False when the
// file could not be written; the previous file is then left as it was.
bool writeSection(const QString& path, const QString& section, const Keys& keys);

} // namespace profile
