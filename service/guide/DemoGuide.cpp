#include "guide/DemoGuide.h"

#include "base/Text.h"

#include <chrono>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

struct DemoShow {
    const char* title;
    const char* category;
    const char* description;
};

struct DemoChannel {
    const char* id;
    const char* name;
    int minutes; // every programme's length: short on Canal Uno, so a recording can be tried soon
    int offset;  // minutes east of UTC its times are written in
    std::vector<DemoShow> shows;
};

const std::vector<DemoChannel>& channels() {
    static const std::vector<DemoChannel> all = {
        {"canal-uno.demo",
         "Canal Uno",
         10,
         60,
         {{"Noticias Uno", "Noticias", "Lo más importante del día, en diez minutos."},
          {"El Tiempo", "Información", "Previsión para mañana en todas las comunidades."},
          {"Deportes en Uno", "Deportes", "Resultados y goles de la jornada."}}},
        {"canal-dos.demo",
         "Canal Dos",
         30,
         120,
         {{"Documental: Ríos de España", "Documental", "El Ebro desde su nacimiento hasta el delta."},
          {"Cine de barrio", "Cine", "Una comedia de los años sesenta."}}},
        {"tele-sur.demo",
         "Telé Sur",
         60,
         -180,
         {{"Telediario Sur", "Noticias", "Informativo de la mañana, la tarde y la noche."},
          {"Música en directo", "Música", "Conciertos grabados en salas del sur."}}},
        {"television-n.demo",
         "Televisión Ñ",
         45,
         0,
         {{"Año Nuevo en Ñ", "Entretenimiento", "Magacín con invitados, música y concursos."},
          {"La cocina de Ñ", "Cocina", "Recetas de toda la vida con productos de temporada."}}},
        {"rock-pop.demo",
         "Rock & Pop #1",
         15,
         60,
         {{"Éxitos del rock", "Música", "Clásicos de guitarra, uno detrás de otro."},
          {"Pop & baladas", "Música", "Canciones para cantar."}}},
    };
    return all;
}

// "YYYYMMDDhhmmss ±hhmm" of `utc` written in the given offset.
std::string xmltvTime(std::int64_t utc, int offsetMinutes) {
    using namespace std::chrono;
    const sys_seconds local{seconds{utc + offsetMinutes * 60}};
    const sys_days day = floor<days>(local);
    const year_month_day date{day};
    const hh_mm_ss time{local - day};
    const int off = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char out[32];
    std::snprintf(out, sizeof out, "%04d%02u%02u%02d%02d%02d %c%02d%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), offsetMinutes < 0 ? '-' : '+', off / 60,
                  off % 60);
    return out;
}

} // namespace

std::string demoGuide(std::int64_t now) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv generator-info-name=\"sintonex-servicio\">\n";
    for (const DemoChannel& c : channels())
        out += std::string("  <channel id=\"") + c.id + "\"><display-name lang=\"es\">" +
               text::escapeXml(c.name) + "</display-name></channel>\n";
    for (const DemoChannel& c : channels()) {
        const std::int64_t slot = c.minutes * 60;
        const std::int64_t first = (now - 7 * 3600) / slot * slot;
        const std::int64_t last = now + 73 * 3600;
        for (std::int64_t t = first; t < last; t += slot) {
            const DemoShow& s = c.shows[static_cast<std::size_t>(t / slot) % c.shows.size()];
            out += "  <programme start=\"" + xmltvTime(t, c.offset) + "\" stop=\"" +
                   xmltvTime(t + slot, c.offset) + "\" channel=\"" + c.id + "\">\n    <title lang=\"es\">" +
                   text::escapeXml(s.title) + "</title>\n    <desc lang=\"es\">" +
                   text::escapeXml(s.description) + "</desc>\n    <category lang=\"es\">" +
                   text::escapeXml(s.category) + "</category>\n  </programme>\n";
        }
    }
    return out + "</tv>\n";
}
