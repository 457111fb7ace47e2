#include "base/RequestLog.h"

RequestLog::~RequestLog() {
    if (m_file)
        std::fclose(m_file);
}

bool RequestLog::open(const std::string& path) {
    std::lock_guard lock(m_mutex);
    m_file = std::fopen(path.c_str(), "ab");
    return m_file != nullptr;
}

void RequestLog::request(const std::string& host, const std::string& method, const std::string& target) {
    append(host + " " + method + " " + target);
}

void RequestLog::note(const std::string& host, const std::string& text) {
    append(host + " NOTE " + text);
}

void RequestLog::append(std::string line) {
    if (!m_file)
        return;
    // A decoded value may hold line breaks; one entry must stay one line.
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    line += '\n';
    std::lock_guard lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), m_file);
    std::fflush(m_file);
}
