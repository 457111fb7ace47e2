// RequestLog: one line per request received, "<host> <METHOD> <target as received>", plus note
// lines "<host> NOTE <text>" for what a handler wants a test to see (decoded form values, bytes a
// stream sent). Every line is flushed at once so a reader of the file never waits. Without a file
// nothing is kept: the lines name what people play and the support messages they send, and a
// service may run for months. Thread-safe.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

class RequestLog {
public:
    RequestLog() = default;
    ~RequestLog();
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    // Appends to the file from now on.
    bool open(const std::string& path);
    void request(const std::string& host, const std::string& method, const std::string& target);
    void note(const std::string& host, const std::string& text);

private:
    void append(std::string line);

    mutable std::mutex m_mutex;
    std::FILE* m_file = nullptr;
};
