#include "http/Faults.h"

#include <cstdlib>

bool Faults::set(const std::string& prefix, const std::string& mode, const std::string& value,
                 std::string& error) {
    Fault f;
    f.prefix = prefix;
    long defaultValue = 0;
    if (mode == "delay") {
        f.mode = FaultMode::Delay;
        defaultValue = 1000;
    } else if (mode == "error") {
        f.mode = FaultMode::Error;
        defaultValue = 500;
    } else if (mode == "garbage") {
        f.mode = FaultMode::Garbage;
        defaultValue = 4096;
    } else if (mode == "drop") {
        f.mode = FaultMode::Drop;
        defaultValue = 0;
    } else if (mode == "endless") {
        f.mode = FaultMode::Endless;
        defaultValue = 200;
    } else {
        error = "unknown mode: " + mode;
        return false;
    }
    if (prefix.empty() || prefix[0] != '/') {
        error = "path must start with /";
        return false;
    }
    f.value = defaultValue;
    if (!value.empty()) {
        char* end = nullptr;
        f.value = std::strtol(value.c_str(), &end, 10);
        // Bounded before use: an hour of delay, 64 MiB of garbage.
        const long most = f.mode == FaultMode::Garbage ? 64L << 20 : 3600L * 1000;
        if (*end != '\0' || f.value < 0 || (f.mode != FaultMode::Drop && f.value > most)) {
            error = "bad value: " + value;
            return false;
        }
    }
    if (f.mode == FaultMode::Error && (f.value < 100 || f.value > 599)) {
        error = "bad HTTP status: " + value;
        return false;
    }
    std::lock_guard lock(m_mutex);
    std::erase_if(m_faults, [&](const Fault& old) { return old.prefix == prefix; });
    m_faults.push_back(f);
    return true;
}

void Faults::clear() {
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

std::optional<Fault> Faults::match(const std::string& target) const {
    std::lock_guard lock(m_mutex);
    std::optional<Fault> best;
    for (const Fault& f : m_faults)
        if (target.starts_with(f.prefix) && (!best || f.prefix.size() > best->prefix.size()))
            best = f;
    return best;
}
