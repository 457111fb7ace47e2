// Shared pieces of the fuzz targets: a Qt application object for the parsers that need one, and a
// check that reports a broken property as a crash, with the values that broke it.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const QByteArray& detail = {}) {
    std::fprintf(stderr, "property broken: %s\n%s\n", what, detail.toPercentEncoding(" /:?&=").constData());
    std::abort();
}

inline void check(bool ok, const char* what, const QByteArray& detail = {}) {
    if (!ok)
        fail(what, detail);
}

inline QByteArray bytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

} // namespace fuzz
