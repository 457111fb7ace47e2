// A programme guide of the shape the big public XMLTV guides have, and the TV playlist that goes
// with it, for the benchmarks: N channels × D days around a given time, every programme with a
// title and a description (a share of them repeated, as reruns and daily shows are), sub-titles,
// credits, categories in two languages, episode numbers, icons and ratings; times in four UTC
// offsets, one of them left out. The playlist matches the guide's channels by every rule: 60 % by
// tvg-id (some in other letter case), 20 % by name (some in capitals without accents), 10 % only
// once "HD" or a bracketed part is dropped; 10 % of its channels are not in the guide, and the
// guide has as many channels the playlist lacks. Deterministic for a given seed and time.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

namespace bench {

struct GuideShape {
    int channels = 1000;
    int days = 7;
    std::int64_t now = 0; // the guide starts a day before it
    unsigned seed = 20261207;
};

class GuideGenerator {
public:
    explicit GuideGenerator(const GuideShape& shape) : m_shape(shape), m_seed(shape.seed) {}

    // Calls `out(text)` with the guide's text piece by piece (a few KB each).
    template <class Out> void guide(Out out);
    // The playlist, "#EXTM3U url-tvg=…" and one "#EXTINF" entry a channel.
    std::string playlist(const std::string& guideAddress) const;

    // List channel i: whether and how the guide names it.
    static std::string listName(int i);
    static std::string guideId(int i);
    static std::string guideName(int i);

private:
    unsigned next() { return m_seed = m_seed * 1103515245u + 12345u; }
    unsigned pick(unsigned n) { return (next() >> 8) % n; }
    std::string words(std::size_t bytes, bool sentence = true);
    static std::string time(std::int64_t utc, int which);

    GuideShape m_shape;
    unsigned m_seed;
};

namespace detail {
inline const char* const kWords[] = {
    "el",       "la",       "de",       "los",        "una",           "noche",
    "ciudad",   "historia", "familia",  "viaje",      "mar",           "montaña",
    "años",     "música",   "fútbol",   "noticias",   "investigación", "secreto",
    "amigos",   "verano",   "cocina",   "campeonato", "entrevista",    "concurso",
    "aventura", "niños",    "España",   "América",    "corazón",       "pasión",
    "último",   "nuevo",    "descubre", "presenta",   "repasa",        "con",
    "en",       "por",      "sobre",    "entre",      "después",       "antes",
    "mientras", "Ñandú",    "Ángel",    "Éxito",      "Íñigo",         "Óscar",
    "Úbeda",    "señal",    "pequeño",  "grande",     "tiempo",        "vida"};
inline const char* const kCategories[][2] = {
    {"Noticias", "News"},          {"Cine", "Movie"},
    {"Deportes", "Sports"},        {"Series", "Series"},
    {"Documental", "Documentary"}, {"Infantil", "Children"},
    {"Música", "Music"},           {"Entretenimiento", "Entertainment"}};
inline const int kMinutes[] = {15, 30, 30, 45, 60, 60, 60, 90, 120};
inline const char* const kOffsets[] = {" +0100", " +0200", " -0300", ""};
} // namespace detail

inline std::string GuideGenerator::listName(int i) {
    const std::string base =
        "Canal " + std::string(detail::kWords[i % std::size(detail::kWords)]) + " " + std::to_string(i);
    switch (i % 10) {
    case 7: { // in capitals and without accents, as some playlists write names
        std::string s;
        for (const char c : base)
            s += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return s; // accented letters stay: matching folds them
    }
    case 8:
        return base + (i % 20 == 8 ? " HD" : " (ES)");
    case 9:
        return "Otro canal " + std::to_string(i);
    default:
        return base;
    }
}

inline std::string GuideGenerator::guideId(int i) {
    return "canal" + std::to_string(i) + ".es";
}

inline std::string GuideGenerator::guideName(int i) {
    return "Canal " + std::string(detail::kWords[i % std::size(detail::kWords)]) + " " + std::to_string(i);
}

inline std::string GuideGenerator::words(std::size_t bytes, bool sentence) {
    std::string s;
    while (s.size() < bytes) {
        if (!s.empty())
            s += ' ';
        s += detail::kWords[pick(std::size(detail::kWords))];
    }
    s[0] = static_cast<char>(s[0] >= 'a' && s[0] <= 'z' ? s[0] - 32 : s[0]);
    return sentence ? s + "." : s;
}

inline std::string GuideGenerator::time(std::int64_t utc, int which) {
    static const int offsets[] = {60, 120, -180, 0};
    using namespace std::chrono;
    const sys_seconds local{seconds{utc + offsets[which] * 60}};
    const sys_days day = floor<days>(local);
    const year_month_day date{day};
    const hh_mm_ss clock{local - day};
    char out[40];
    std::snprintf(out, sizeof out, "%04d%02u%02u%02d%02d%02d%s", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), detail::kOffsets[which]);
    return out;
}

template <class Out> void GuideGenerator::guide(Out out) {
    out("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n"
        "<tv generator-info-name=\"bench\" source-info-name=\"generada\">\n");
    const int n = m_shape.channels;
    // Channels 0..n-1 of the list but every tenth, then as many the list does not have.
    auto inGuide = [&](int k) { return k < n ? k % 10 != 9 : true; };
    const int total = n + n / 10;
    for (int k = 0; k < total; ++k) {
        if (!inGuide(k))
            continue;
        const std::string id = k < n ? guideId(k) : "extra" + std::to_string(k) + ".es";
        const std::string name = k < n ? guideName(k) : "Extra " + std::to_string(k);
        out("  <channel id=\"" + id + "\">\n    <display-name lang=\"es\">" + name +
            "</display-name>\n    <display-name lang=\"es\">" + name +
            " HD</display-name>\n    <icon src=\"http://127.0.0.1/logos/" + id +
            ".png\" />\n    <url>http://127.0.0.1/canales/" + id + "</url>\n  </channel>\n");
    }
    const std::int64_t begin = (m_shape.now - 86400) / 3600 * 3600;
    const std::int64_t end = begin + std::int64_t(m_shape.days) * 86400;
    std::string desc[64];
    for (std::string& d : desc)
        d = words(95 + pick(140));
    for (int k = 0; k < total; ++k) {
        if (!inGuide(k))
            continue;
        const std::string id = k < n ? guideId(k) : "extra" + std::to_string(k) + ".es";
        const int which = k % 4;
        int episode = 1;
        for (std::int64_t t = begin; t < end;) {
            const std::int64_t stop = t + detail::kMinutes[pick(9)] * 60;
            const bool rerun = pick(10) < 4; // reruns and daily shows repeat their text
            const unsigned show = pick(64);
            const auto& cat = detail::kCategories[show % 8];
            std::string p = "  <programme start=\"" + time(t, which) + "\" stop=\"" + time(stop, which) +
                            "\" channel=\"" + id + "\">\n    <title lang=\"es\">" +
                            (rerun ? "Programa " + std::to_string(show) : words(12 + pick(30), false)) +
                            "</title>\n";
            if (pick(2))
                p += "    <sub-title lang=\"es\">Episodio " + std::to_string(episode++) + "</sub-title>\n";
            p += "    <desc lang=\"es\">" + (rerun ? desc[show] : words(95 + pick(140))) + "</desc>\n";
            if (pick(10) < 3)
                p += "    <credits>\n      <director>" + words(12, false) + "</director>\n      <actor>" +
                     words(12, false) + "</actor>\n      <actor>" + words(14, false) +
                     "</actor>\n    </credits>\n    <date>" + std::to_string(1980 + pick(45)) + "</date>\n";
            p += std::string("    <category lang=\"es\">") + cat[0] +
                 "</category>\n    <category lang=\"en\">" + cat[1] + "</category>\n";
            if (pick(2))
                p += "    <episode-num system=\"onscreen\">T" + std::to_string(1 + pick(9)) + " E" +
                     std::to_string(episode) + "</episode-num>\n    <icon src=\"http://127.0.0.1/img/" +
                     std::to_string(next() % 100000) + ".jpg\" />\n";
            if (pick(10) < 3)
                p += "    <rating system=\"ES\">\n      <value>+" + std::to_string(7 + 6 * pick(2)) +
                     "</value>\n    </rating>\n";
            out(p + "  </programme>\n");
            t = stop;
        }
    }
    out("</tv>\n");
}

inline std::string GuideGenerator::playlist(const std::string& guideAddress) const {
    std::string out = "#EXTM3U url-tvg=\"" + guideAddress + "\"\n";
    for (int i = 0; i < m_shape.channels; ++i) {
        const std::string name = listName(i);
        std::string attrs;
        if (i % 10 <= 5)
            attrs = " tvg-id=\"" +
                    (i % 10 == 5 ? std::string("CANAL") + std::to_string(i) + ".ES" : guideId(i)) + "\"";
        if (i % 10 == 6)
            attrs += " tvg-name=\"" + guideName(i) + "\"";
        out += "#EXTINF:-1" + attrs + " tvg-logo=\"http://127.0.0.1/logos/" + std::to_string(i) +
               ".png\" group-title=\"Grupo " + std::to_string(i % 12) + "\"," + name + "\n";
        out += "http://127.0.0.1:8000/live/" + std::to_string(i) + "/index.m3u8\n";
    }
    return out;
}

} // namespace bench
