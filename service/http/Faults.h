// Faults: switches that make requests under a path prefix misbehave, so tests can see how the
// program copes with a slow, failing, garbled, cut or never-ending service. Thread-safe.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

enum class FaultMode { Delay, Error, Garbage, Drop, Endless };

struct Fault {
    std::string prefix; // matched against the request target as received
    FaultMode mode = FaultMode::Delay;
    long value = 0; // ms (delay, endless line interval), status (error) or bytes (garbage, drop)
};

class Faults {
public:
    // An empty value takes the mode's default. False with a message when mode or value is bad.
    bool set(const std::string& prefix, const std::string& mode, const std::string& value,
             std::string& error);
    void clear();
    // The fault with the longest prefix of the target, if any.
    std::optional<Fault> match(const std::string& target) const;

private:
    mutable std::mutex m_mutex;
    std::vector<Fault> m_faults;
};
