#include "base/Text.h"

#include <cctype>
#include <cstdint>

namespace text {
namespace {

// Code points of bytes 0x80-0x9F in Windows-1252; 0 marks the five undefined bytes.
constexpr char32_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at i; false (and i unchanged) when it is malformed.
bool nextCodePoint(const std::string& s, size_t& i, char32_t& c) {
    const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t lead = b(i);
    size_t len = 0;
    if (lead < 0x80) {
        c = lead;
        len = 1;
    } else if ((lead & 0xE0) == 0xC0) {
        c = lead & 0x1F;
        len = 2;
    } else if ((lead & 0xF0) == 0xE0) {
        c = lead & 0x0F;
        len = 3;
    } else if ((lead & 0xF8) == 0xF0) {
        c = lead & 0x07;
        len = 4;
    } else {
        return false;
    }
    if (i + len > s.size())
        return false;
    for (size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return false;
        c = (c << 6) | (b(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMin[len] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        return false;
    i += len;
    return true;
}

} // namespace

bool isValidUtf8(const std::string& bytes) {
    size_t i = 0;
    char32_t c = 0;
    while (i < bytes.size())
        if (!nextCodePoint(bytes, i, c))
            return false;
    return true;
}

std::string utf8ToCp1252(const std::string& utf8) {
    std::string out;
    size_t i = 0;
    char32_t c = 0;
    while (i < utf8.size()) {
        if (!nextCodePoint(utf8, i, c)) {
            out += '?';
            ++i;
            continue;
        }
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        char byte = '?';
        for (int k = 0; k < 32; ++k)
            if (kHigh[k] == c && c != 0)
                byte = static_cast<char>(0x80 + k);
        out += byte;
    }
    return out;
}

std::string cp1252ToUtf8(const std::string& bytes) {
    std::string out;
    for (const char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        if (b >= 0x80 && b < 0xA0)
            appendUtf8(out, kHigh[b - 0x80] ? kHigh[b - 0x80] : 0xFFFD);
        else
            appendUtf8(out, b);
    }
    return out;
}

std::string decodeValue(const std::string& bytes) {
    return isValidUtf8(bytes) ? bytes : cp1252ToUtf8(bytes);
}

std::string escapeXml(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string displayVersion(const std::string& compact) {
    if (compact.size() != 3)
        return compact;
    for (const char c : compact)
        if (c < '0' || c > '9')
            return compact;
    return std::string{compact[0], '.', compact[1], '.', compact[2]};
}

std::string firstChars(const std::string& utf8, size_t chars) {
    size_t counted = 0, at = 0;
    for (; at < utf8.size(); ++at)
        if ((static_cast<unsigned char>(utf8[at]) & 0xC0) != 0x80 && ++counted > chars)
            break;
    return utf8.substr(0, at);
}

std::string localMinute(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char out[32];
    std::strftime(out, sizeof out, "%Y-%m-%d %H:%M", &tm);
    return out;
}

bool startsWithNoCase(const std::string& s, const char* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i])
            return false;
    return true;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trimBlanks(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

} // namespace text
