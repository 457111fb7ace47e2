#include "sources/Stations.h"

#include "base/Address.h"

#include <nlohmann/json.hpp>

#include <map>
#include <set>

namespace {

using Json = nlohmann::json;

struct Station {
    std::string name, url, resolved, country;
    bool broken = false;
};

// Parse events of a JSON station list: only the fields of the objects directly inside the top-level
// array are kept; everything else (nested values, other fields) is passed over as it streams by.
class StationEvents : public nlohmann::json_sax<Json> {
public:
    std::vector<Station> stations;
    int skipped = 0;
    std::string error, userError;

    bool null() override { return true; }
    bool boolean(bool value) override {
        if (atStationField("lastcheckok"))
            m_station.broken = !value;
        return true;
    }
    bool number_integer(number_integer_t value) override {
        if (atStationField("lastcheckok"))
            m_station.broken = value == 0;
        return true;
    }
    bool number_unsigned(number_unsigned_t value) override {
        if (atStationField("lastcheckok"))
            m_station.broken = value == 0;
        return true;
    }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool string(string_t& value) override {
        if (atStationField("name"))
            m_station.name = std::move(value);
        else if (atStationField("url"))
            m_station.url = std::move(value);
        else if (atStationField("url_resolved"))
            m_station.resolved = std::move(value);
        else if (atStationField("countrycode"))
            m_station.country = std::move(value);
        else if (m_depth == 1)
            ++skipped; // a bare value where a station should be
        return true;
    }
    bool start_object(std::size_t) override {
        if (m_depth == 0) {
            error = "JSON that is no list of stations";
            userError = "el JSON no es una lista de emisoras";
            return false;
        }
        if (++m_depth == 2) {
            m_inStation = true;
            m_station = {};
        }
        return true;
    }
    bool key(string_t& name) override {
        if (m_depth == 2)
            m_key = std::move(name);
        return true;
    }
    bool end_object() override {
        if (m_depth-- == 2) {
            stations.push_back(std::move(m_station));
            m_inStation = false;
        }
        return true;
    }
    bool start_array(std::size_t) override {
        if (++m_depth == 2)
            ++skipped; // a list where a station should be
        return true;
    }
    bool end_array() override {
        --m_depth;
        return true;
    }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) override {
        error = "broken JSON at byte " + std::to_string(position);
        userError = "el JSON está mal formado";
        return false;
    }

private:
    bool atStationField(const char* field) const { return m_inStation && m_depth == 2 && m_key == field; }

    int m_depth = 0;
    bool m_inStation = false;
    std::string m_key;
    Station m_station;
};

// Two capital letters, or nothing.
std::string countryCode(const std::string& raw) {
    std::string code;
    for (const char c : raw)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            code += static_cast<char>(c & ~0x20);
    return code.size() == 2 ? code : std::string();
}

} // namespace

bool looksLikeJson(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string::npos && (text[first] == '[' || text[first] == '{');
}

PlaylistParse parseStations(const std::string& utf8, const std::string& origin) {
    PlaylistParse out;
    StationEvents events;
    Json::sax_parse(utf8, &events);
    if (!events.error.empty()) {
        out.error = events.error;
        out.userError = events.userError;
        return out;
    }
    out.skipped = events.skipped;

    struct Taken {
        std::string name, address, country;
    };
    std::vector<Taken> taken;
    std::map<std::string, std::set<std::string>> countriesOf;
    for (const Station& s : events.stations) {
        std::string address = s.broken ? std::string() : streamAddress(s.resolved, origin);
        if (address.empty() && !s.broken)
            address = streamAddress(s.url, origin);
        if (address.empty()) {
            ++out.skipped;
            continue;
        }
        std::string name = cleanName(s.name);
        if (name.empty())
            name = nameFromAddress(address);
        const std::string country = countryCode(s.country);
        if (!country.empty())
            countriesOf[name].insert(country);
        taken.push_back({std::move(name), std::move(address), country});
    }
    for (Taken& t : taken) {
        const bool ambiguous = !t.country.empty() && countriesOf[t.name].size() > 1;
        PlaylistEntry e;
        e.name = ambiguous ? cleanName(t.name + " (" + t.country + ")") : std::move(t.name);
        e.address = std::move(t.address);
        out.entries.push_back(std::move(e));
    }
    return out;
}
