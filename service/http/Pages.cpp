#include "http/Pages.h"

#include "base/Text.h"

#include <cctype>

using text::escapeXml;

namespace pages {

std::string page(const std::string& title, const std::string& bodyHtml) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + escapeXml(title) +
           "</title>\n<style>body{font-family:sans-serif;background:#10243e;color:#e8eef6;margin:2em}"
           "a{color:#ffd25a}</style></head>\n<body>" +
           bodyHtml + "</body></html>\n";
}

std::string reply(const std::string& title, const std::string& word) {
    // No blanks or line breaks inside the body: its text is compared exactly.
    return "<html><head><title>" + escapeXml(title) + "</title></head><body>" + escapeXml(word) +
           "</body></html>";
}

std::string error(int status, const std::string& detail) {
    const std::string title = "Error " + std::to_string(status);
    return page(title, "<h1>" + title + "</h1><p>" + escapeXml(detail) + "</p>");
}

std::string counter() {
    return page("Sintonex", "<p>Gracias por usar Sintonex.</p>");
}

std::string chat() {
    return page("Chat de Sintonex", "<h1>Chat de Sintonex</h1>"
                                    "<div id=\"mensajes\"><p><b>luna:</b> ¡Hola a todos!</p>"
                                    "<p><b>pepe:</b> ¿Alguien ve Canal Uno?</p></div>"
                                    "<form action=\"chat.html\"><input name=\"mensaje\" size=\"40\">"
                                    "<input type=\"submit\" value=\"Enviar\"></form>");
}

std::string teletext(const Catalogue& catalogue, int pageNumber) {
    if (pageNumber == 100) {
        std::string items;
        for (const Channel& ch : catalogue.channels())
            if (ch.list == ListKind::Tv)
                items += "<li>" + escapeXml(ch.name) + "</li>";
        return page("Teletexto de Sintonex - Página 100",
                    "<h1>Teletexto - Página 100</h1><p>Canales de televisión:</p><ul>" + items +
                        "</ul><p><a id=\"siguiente\" href=\"txt2.htm\">Página 101: Noticias</a></p>");
    }
    return page("Teletexto de Sintonex - Página 101",
                "<h1>Teletexto - Página 101</h1><p>Noticias: hoy emiten todos los canales de prueba.</p>"
                "<p><a id=\"anterior\" href=\"txt.htm\">Página 100: Canales</a></p>");
}

std::string channelPage(const Channel& channel, const std::string& streamAddress) {
    std::string body = "<h1>" + escapeXml(channel.name) + "</h1><p>Emisión en directo de " +
                       escapeXml(channel.name) + ".</p>";
    if (!streamAddress.empty())
        body += "<p><a href=\"" + escapeXml(streamAddress) + "\">Señal en directo</a></p>";
    body += "<div style=\"width:320px;height:180px;background:linear-gradient(90deg,red,orange,yellow,"
            "green,blue,indigo,violet)\"></div>";
    return page(channel.name + " en directo", body);
}

std::string unknownChannel(const std::string& name) {
    return page("Canal no encontrado", "<h1>Canal no encontrado</h1><p>El canal «" + escapeXml(name) +
                                           "» no está en las listas de Sintonex.</p>");
}

std::string webHome() {
    return page(
        "Sintonex - Televisión y radio por internet",
        "<h1>Sintonex</h1><p>Televisión y radio por internet, gratis.</p>"
        "<ul><li><a href=\"/sintonex/ayuda/principal/\">Ayuda</a></li>"
        "<li><a href=\"/donar/\">Donar</a></li><li><a href=\"/informar/\">Informar de un problema</a></li>"
        "</ul>");
}

std::string help() {
    return page("Ayuda de Sintonex", "<h1>Ayuda de Sintonex</h1><p>Haz doble clic en un canal de la lista "
                                     "para verlo. Escribe en el buscador para encontrarlo antes.</p>");
}

std::string search(const std::string& query) {
    return page("Buscar: " + query,
                "<h1>Resultados de la búsqueda</h1><p>Has buscado: <b>" + escapeXml(query) + "</b></p>");
}

std::string donate() {
    return page("Donar a Sintonex",
                "<h1>Ayuda a Sintonex</h1><p>Con tu donación mantenemos los servidores.</p>");
}

std::string reportForm() {
    return page("Informar de un problema",
                "<h1>Informar de un problema</h1><form action=\"/informar/enviar\">"
                "<p>Canal: <input name=\"canal\"></p><p>Problema: <textarea name=\"mensaje\"></textarea></p>"
                "<p><input type=\"submit\" value=\"Enviar\"></p></form>");
}

std::string reportSent(const std::string& channel) {
    return page("Gracias", "<h1>Gracias</h1><p>Revisaremos el canal " + escapeXml(channel) + ".</p>");
}

std::string skinsHelp() {
    return page("Fondos de Sintonex",
                "<h1>Fondos</h1><p>Elige una imagen JPG o BMP como fondo de Sintonex.</p>");
}

std::string external() {
    return page("Web externa", "<h1>Web externa</h1><p>Este canal se ve en su propia página.</p>");
}

std::string recommended(const std::string& friends) {
    return page("Invitación enviada", "<p>Hemos enviado la invitación a " + escapeXml(friends) + ".</p>");
}

std::string forumHome() {
    return page("Foro de Sintonex", "<h1>Foro de Sintonex</h1><ul><li><a href=\"/topic/65\">Canales que no "
                                    "funcionan</a></li></ul>");
}

std::string forumTopic(const std::string& number) {
    return page("Foro de Sintonex - Tema " + number,
                "<h1>Tema " + escapeXml(number) + "</h1><p>Escribe aquí los canales que no funcionan.</p>");
}

namespace {

const char* const kBuiltInChanges = "- Las listas de canales pueden reunir tus propias listas M3U y PLS.\n"
                                    "- Los controles multimedia del escritorio manejan la radio y la "
                                    "televisión, y su volumen es el de Sintonex.\n"
                                    "- Todas las ventanas de Sintonex de un usuario comparten su servicio.\n";

// Paragraphs separated by blank lines; lines starting with "- " are the items of a list.
std::string changesHtml(const std::string& text) {
    std::string out, paragraph;
    bool inList = false;
    const auto endParagraph = [&] {
        if (!paragraph.empty())
            out += "<p>" + escapeXml(paragraph) + "</p>";
        paragraph.clear();
    };
    const auto endList = [&] {
        if (inList)
            out += "</ul>";
        inList = false;
    };
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        if (line.starts_with("- ")) {
            endParagraph();
            if (!inList)
                out += "<ul>";
            inList = true;
            out += "<li>" + escapeXml(line.substr(2)) + "</li>";
        } else if (line.find_first_not_of(" \t") == std::string::npos) {
            endParagraph();
            endList();
        } else {
            endList();
            paragraph += (paragraph.empty() ? "" : " ") + line;
        }
    }
    endParagraph();
    endList();
    return out;
}

std::string percentEncoded(const std::string& s) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return out;
}

} // namespace

std::string download(const std::string& displayVersion, const std::string& changes,
                     const std::string& packageName) {
    const std::string name = "Sintonex " + displayVersion;
    std::string how;
    if (!packageName.empty()) {
        how = "<p>Descarga el paquete <a href=\"/sintonex/descargar/" +
              escapeXml(percentEncoded(packageName)) + "\">" + escapeXml(packageName) +
              "</a> e instálalo desde la carpeta donde lo guardaste:</p>"
              "<pre>sudo apt install ./" +
              escapeXml(packageName) + "</pre>";
    } else {
        how = "<p>Prepara el paquete a partir del código fuente de Sintonex e "
              "instálalo:</p><pre>scripts/setup\n"
              "cmake -S . -B build-plain -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSINTONEX_TESTS=OFF\n"
              "cmake --build build-plain -j\"$(nproc)\"\n(cd build-plain &amp;&amp; cpack -G DEB)\n"
              "sudo apt install ./build-plain/sintonex_*.deb</pre>";
    }
    how += "<p>El paquete nuevo sustituye al anterior y conserva tus listas de canales y tu configuración. "
           "Después vuelve a abrir Sintonex.</p>";
    return page("Descargar " + name, "<h1>" + escapeXml(name) + "</h1><h2>Novedades</h2>" +
                                         changesHtml(changes.empty() ? kBuiltInChanges : changes) +
                                         "<h2>Cómo instalarla</h2>" + how);
}

std::string asx(const std::string& title, const std::vector<std::string>& hrefs) {
    std::string refs;
    for (const std::string& href : hrefs)
        refs += "<ref href=\"" + escapeXml(href) + "\" />\r\n";
    return "<asx version=\"3.0\">\r\n<title>" + escapeXml(title) + "</title>\r\n<entry>\r\n<title>" +
           escapeXml(title) + "</title>\r\n<author>Sintonex</author>\r\n" + refs + "</entry>\r\n</asx>\r\n";
}

} // namespace pages
