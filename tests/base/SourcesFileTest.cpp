// fuentes.txt as the window edits it and the service reads it: what a hand-written file means, and
// that every edit leaves the user's other bytes alone.
#include "base/SourcesFile.h"

#include <gtest/gtest.h>

using namespace sourcesfile;

namespace {

const std::string kHandWritten = "\xEF\xBB\xBF# mis fuentes\r\n"
                                 "tv   https://listas.example/es.m3u   # la de casa\r\n"
                                 "\r\n"
                                 "Radio\t~/Mis listas/radio#2.pls\r\n"
                                 "tele http://x/y.m3u\r\n"
                                 "tv\r\n"
                                 "SIN-PREDETERMINADAS # sin las de serie\r\n"
                                 "Guia guias/es.xml.gz\r\n"
                                 "radio file:///home/ana/Mis%20listas/r.m3u";

} // namespace

TEST(SourcesFile, AHandWrittenFileReadsAsItsAuthorMeantAndWritesBackByteForByte) {
    const SourcesFile f = SourcesFile::parse(kHandWritten);
    EXPECT_EQ(f.bytes(), kHandWritten);
    ASSERT_EQ(f.sources().size(), 4u);
    EXPECT_EQ(f.sources()[0].kind, Kind::Tv);
    EXPECT_EQ(f.sources()[0].address, "https://listas.example/es.m3u");
    EXPECT_EQ(f.sources()[0].line, 2);
    EXPECT_EQ(f.sources()[1].kind, Kind::Radio);
    EXPECT_EQ(f.sources()[1].address, "~/Mis listas/radio#2.pls"); // '#' inside a path, blanks inside
    EXPECT_EQ(f.sources()[2].kind, Kind::Guide);
    EXPECT_EQ(f.sources()[2].address, "guias/es.xml.gz");
    EXPECT_EQ(f.sources()[3].line, 9); // a last line without its end
    EXPECT_FALSE(f.defaultsOn());
    ASSERT_EQ(f.unknownLines().size(), 2u);
    EXPECT_EQ(f.unknownLines()[0].line, 5);
    EXPECT_EQ(f.unknownLines()[0].text, "tele http://x/y.m3u");
    EXPECT_EQ(f.unknownLines()[1].text, "tv");

    EXPECT_EQ(resolvedAddress(f.sources()[1].address, "/home/ana/.local/share/sintonex", "/home/ana"),
              "/home/ana/Mis listas/radio#2.pls");
    EXPECT_EQ(resolvedAddress(f.sources()[3].address, "/x", "/h"), "/home/ana/Mis listas/r.m3u");
    EXPECT_EQ(resolvedAddress("listas/tv.m3u", "/srv/prog", "/home/ana"), "/srv/prog/listas/tv.m3u");
    EXPECT_EQ(resolvedAddress("https://a/b?c=1&d", "/x", "/h"), "https://a/b?c=1&d");
    EXPECT_NE(fingerprint(kHandWritten), fingerprint(kHandWritten + "\n"));
}

TEST(SourcesFile, EditsTouchOnlyTheirOwnLineAndNewLinesEndAsTheFilesDo) {
    SourcesFile e = SourcesFile::parse(kHandWritten);
    ASSERT_TRUE(e.add(Kind::Tv, "  /home/ana/nueva.m3u "));
    EXPECT_EQ(e.bytes(), kHandWritten + "\r\ntv /home/ana/nueva.m3u\r\n");
    // What could not be read back as written is refused.
    EXPECT_FALSE(e.add(Kind::Radio, "http://a/b # x"));
    EXPECT_FALSE(e.add(Kind::Radio, "a\nb"));
    EXPECT_FALSE(e.add(Kind::Radio, "   "));

    e.remove(0);
    EXPECT_EQ(e.sources()[0].address, "~/Mis listas/radio#2.pls");
    EXPECT_TRUE(e.bytes().starts_with("\xEF\xBB\xBF# mis fuentes\r\n\r\nRadio")) << e.bytes();
    e.setDefaultsOn(true);
    EXPECT_TRUE(e.defaultsOn());
    EXPECT_EQ(e.bytes().find("SIN-PRED"), std::string::npos);
    e.setDefaultsOn(false);
    EXPECT_TRUE(e.bytes().ends_with("tv /home/ana/nueva.m3u\r\nsin-predeterminadas\r\n")) << e.bytes();
    EXPECT_EQ(e.unknownLines().size(), 2u); // kept through every edit

    // The byte-order mark belongs to the file: it stays first when the first line goes.
    SourcesFile b = SourcesFile::parse("\xEF\xBB\xBFtv a.m3u\nradio b.pls\n");
    b.remove(0);
    EXPECT_EQ(b.bytes(), "\xEF\xBB\xBFradio b.pls\n");

    // A new file explains itself in comments only.
    SourcesFile h = SourcesFile::withHeader();
    EXPECT_TRUE(h.sources().empty() && h.unknownLines().empty() && h.defaultsOn());
    h.add(Kind::Radio, "https://emisoras.example/es.json");
    EXPECT_TRUE(h.bytes().ends_with("\nradio https://emisoras.example/es.json\n"));
}
