// config.ini as left by any earlier version or edited by hand: a value written is read back as
// written (blanks around it and one pair of quotes aside), and no other setting changes.
#include "FuzzSupport.h"
#include "platform/ProfileStrings.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

QTemporaryDir* folder = nullptr;

// The names the program stores, and two made-up ones that the corpus files also use.
const char* const kNames[][2] = {{"config", "servidor"}, {"config", "web"},   {"config", "volumen"},
                                 {"Ultima", "canal"},    {"Ultima", "radio"}, {"a", "b"},
                                 {"CONFIG", "Servidor"}, {"programa", "ruta"}};

bool usableName(const QString& s, bool isKey) {
    const QString t = s.trimmed();
    // At the start of a new file, a name beginning with U+FEFF would be taken for a byte-order mark.
    if (t.startsWith(QChar(0xFEFF)))
        return false;
    if (isKey && (t.isEmpty() || t.startsWith('[') || t.startsWith(';') || t.contains('=')))
        return false;
    return !t.contains('\n') && !t.contains('\r') && !t.contains(']');
}

QString expectedRead(QString value) {
    value.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace('\r', ' ').replace('\n', ' ');
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    QString section, key;
    if (in.ConsumeBool()) {
        const auto& n = kNames[in.ConsumeIntegralInRange<size_t>(0, std::size(kNames) - 1)];
        section = QString::fromLatin1(n[0]);
        key = QString::fromLatin1(n[1]);
    } else {
        section = QString::fromUtf8(fuzz::bytes(in.ConsumeRandomLengthString(16)));
        key = QString::fromUtf8(fuzz::bytes(in.ConsumeRandomLengthString(16)));
        if (!usableName(section, false) || !usableName(key, true))
            return 0;
    }
    const QString value = QString::fromUtf8(fuzz::bytes(in.ConsumeRandomLengthString(128)));
    const QByteArray file = fuzz::bytes(in.ConsumeRemainingBytesAsString());

    const QString path = folder->filePath(QStringLiteral("config.ini"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(file) != file.size())
            fuzz::fail("cannot write config.ini");
    }
    QStringList before;
    for (const auto& n : kNames)
        before << profile::read(path, QString::fromLatin1(n[0]), QString::fromLatin1(n[1]));

    fuzz::check(profile::write(path, section, key, value), "write failed");
    fuzz::check(profile::read(path, section, key) == expectedRead(value), "value not read back",
                file + "\n--\n" + value.toUtf8());
    for (size_t i = 0; i < std::size(kNames); ++i) {
        const QString s = QString::fromLatin1(kNames[i][0]), k = QString::fromLatin1(kNames[i][1]);
        if (s.compare(section.trimmed(), Qt::CaseInsensitive) == 0 &&
            k.compare(key.trimmed(), Qt::CaseInsensitive) == 0)
            continue;
        fuzz::check(profile::read(path, s, k) == before[qsizetype(i)], "another setting changed",
                    file + "\n--\n" + value.toUtf8());
    }
    return 0;
}
