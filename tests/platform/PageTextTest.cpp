#include "platform/PageText.h"
#include "platform/HtmlTokens.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QStringList>

using pagetext::innerText;

TEST(PageText, ServiceRepliesWrappedInAPageReadExactly) {
    EXPECT_EQ(innerText("<html><body>ok</body></html>"), "ok");
    EXPECT_EQ(
        innerText("<html>\n<head>\n<title>Versión</title>\n</head>\n<body>\n  no  \n</body>\n</html>\n"),
        "no");
    EXPECT_EQ(
        innerText("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>body{color:red}</style>"
                  "<script>var s = '<b>ok</b>'; if (a < b) {}</script></head><body>ok<script>x()</script>"
                  "</body></html>"),
        "ok");
    EXPECT_EQ(innerText("ok"), "ok");
    EXPECT_EQ(innerText("<title>t</title>no"), "no"); // no body tags: the rest is the body
    EXPECT_EQ(innerText(""), "");
    EXPECT_EQ(innerText("<html><body></body></html>"), "");
}

TEST(PageText, EntitiesDecodeAsInABrowser) {
    EXPECT_EQ(innerText("Canci&oacute;n &amp; Espa&ntilde;a"), "Canción & España");
    EXPECT_EQ(innerText("&lt;b&gt; &quot;x&quot; &apos;"), "<b> \"x\" '");
    EXPECT_EQ(innerText("&#233;&#xE9;&#XE9;&#150;&#128;"), "ééé–€"); // 128-159 are Windows-1252
    EXPECT_EQ(innerText("&#0;&#xD800;&#99999999999;"), QString(3, QChar(0xFFFD)));
    EXPECT_EQ(innerText("&copy2 &eacute &amp"), "©2 é &");                  // legacy names need no ';'
    EXPECT_EQ(innerText("&bogus; AT&T &# &euro"), "&bogus; AT&T &# &euro"); // not references
    EXPECT_EQ(innerText("a&nbsp;&nbsp;b"), QString("a") + QChar(0xA0) + QChar(0xA0) + "b");
    EXPECT_EQ(html::decodeEntities(u"&hellip;&mdash;&rsquo;"), QString::fromUtf8("…—’"));
}

TEST(PageText, BlanksCollapseAndBlocksBreakLines) {
    EXPECT_EQ(innerText("  a \n\t  b  "), "a b");
    EXPECT_EQ(innerText("<b>a</b> <i> b</i>c"), "a bc");
    EXPECT_EQ(innerText("<div>a</div><div>b</div>"), "a\nb");
    EXPECT_EQ(innerText("<div> a </div>\n<div>\n b </div>"), "a\nb");
    EXPECT_EQ(innerText("<p>a</p><p>b</p>"), "a\n\nb");
    EXPECT_EQ(innerText("<div><p>a</p></div><div>b</div>"), "a\n\nb"); // the largest break wins
    EXPECT_EQ(innerText("<p>a<p>b"), "a\n\nb");                        // implied </p>
    EXPECT_EQ(innerText("<p>a<div>b</div>c"), "a\n\nb\nc");            // a div ends the paragraph
    EXPECT_EQ(innerText("a<br>b<br/>c</br>d"), "a\nb\nc\nd");
    EXPECT_EQ(innerText("<br>a <br> b"), "\na\nb"); // a break is text of its own, kept at the start
    EXPECT_EQ(innerText("<h1>Título</h1>texto<hr>fin"), "Título\ntexto\nfin");
    EXPECT_EQ(innerText("<ul><li>uno<li>dos</li>\n<li> tres</ul>después"), "uno\ndos\ntres\ndespués");
    EXPECT_EQ(innerText("<table><tr><td>a<td> b </td></tr>\n<tr><th>c</th>\n<td>d</td></tr></table>x"),
              "a\tb\nc\td\nx");
    EXPECT_EQ(innerText("<pre>\n  a  b\n\tc</pre>d"), "  a  b\n\tc\nd"); // first newline of pre dropped
    EXPECT_EQ(innerText("<xmp><b>&amp;</b></xmp>"), "<b>&amp;</b>");
    EXPECT_EQ(innerText("a\r\nb"), "a b");
}

TEST(PageText, HiddenPartsAndMarkupLeaveNoText) {
    EXPECT_EQ(innerText("<div hidden>x</div><span style=\"DISPLAY: none\">y</span>z<noscript>n</noscript>"
                        "<template>t</template><textarea>w</textarea><iframe>i</iframe>"),
              "z");
    EXPECT_EQ(innerText("<details><summary>s</summary>d</details><object>fallback</object>"), "s\nfallback");
    EXPECT_EQ(innerText("<select><option>x<option>y</select>z"), "x\ny\nz");
    // A stray end tag does not close structure opened inside it, so what is hidden stays hidden.
    EXPECT_EQ(innerText("<span hidden><div>x</span>y</div>z"), "");
    EXPECT_EQ(innerText("<div hidden><span>x</div>y</span>z"), "yz");
    EXPECT_EQ(innerText("a<!-- <b>c</b> -->b<!---->c<!-->d"), "abcd");
    EXPECT_EQ(innerText("<!DOCTYPE html><?xml version=\"1.0\"?>x"), "x");
    EXPECT_EQ(innerText("<a href=\"x>y\" title='1 > 0'>enlace</a>"), "enlace"); // '>' inside quotes
    EXPECT_EQ(innerText("<script>document.write('</script>')</script>ok"), "')ok");
    EXPECT_EQ(innerText("<SCRIPT>x</Script >ok"), "ok");
    EXPECT_EQ(innerText("1 < 2 > 0 <3 </ >"), "1 < 2 > 0 <3");
    // Cut-off markup, as a page cut at the size limit ends: never text of the markup.
    EXPECT_EQ(innerText("ok<script>var a = 1;"), "ok");
    EXPECT_EQ(innerText("ok<a href=\"x"), "ok");
    EXPECT_EQ(innerText("ok<!-- never closed"), "ok");
    EXPECT_EQ(innerText("ok&#"), "ok&#");
}

TEST(PageText, TitleIsTheFirstTitleElement) {
    EXPECT_EQ(pagetext::title("<html><head><title>  Hola &amp;\n  adi&oacute;s </title></head></html>"),
              "Hola & adiós");
    EXPECT_EQ(
        pagetext::title("<script>var t = '<title>no</title>';</script><title>sí</title><title>2</title>"),
        "sí");
    EXPECT_EQ(pagetext::title("<TITLE><b>x</b></TITLE>"), "<b>x</b>"); // no markup in a title
    EXPECT_EQ(pagetext::title("<body>sin título</body>"), "");
    EXPECT_EQ(pagetext::title("<title>&nbsp;</title>"), QString(QChar(0xA0)));
    EXPECT_EQ(pagetext::title("<title>cortado"), "cortado");
}

TEST(PageText, BodiesDecodeByHeaderMarkOrContent) {
    const QByteArray latin = "Espa\xf1"
                             "a \x80";
    EXPECT_EQ(pagetext::decode(latin, "text/plain"), "España €"); // not UTF-8: Windows-1252
    EXPECT_EQ(pagetext::decode(latin, "text/plain; charset=ISO-8859-1"), "España €"); // the web's Latin-1
    EXPECT_EQ(pagetext::decode("Espa\xc3\xb1"
                               "a",
                               ""),
              "España"); // valid UTF-8
    EXPECT_EQ(pagetext::decode("Espa\xc3\xb1"
                               "a",
                               "text/html; charset=\"windows-1252\""),
              "EspaÃ±a");
    EXPECT_EQ(pagetext::decode("<meta charset=windows-1252>\xc3\xb1", "text/html"),
              "<meta charset=windows-1252>Ã±");
    EXPECT_EQ(pagetext::decode("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\xf1",
                               "text/html"),
              QString("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">") +
                  QChar(0xFFFD));
    EXPECT_EQ(pagetext::decode("<meta charset=windows-1252>\xc3\xb1", "text/plain"),
              "<meta charset=windows-1252>ñ"); // a text is not searched for meta tags
    EXPECT_EQ(pagetext::decode("\xef\xbb\xbfok", "text/plain; charset=windows-1252"), "ok"); // the mark wins
    EXPECT_EQ(pagetext::decode(QByteArray("\xff\xfeo\0k\0", 6), ""), "ok");
    EXPECT_EQ(pagetext::decode("ok", "text/plain; charset=no-such-charset"), "ok");

    // A body cut at the size limit in the middle of a character is still UTF-8.
    const QByteArray cut = QByteArray("ñandú ") + QByteArray("é").left(1);
    EXPECT_TRUE(pagetext::decode(cut, "", true).startsWith("ñandú "));
    EXPECT_TRUE(pagetext::decode(cut, "", false).startsWith("Ã±")); // whole but invalid: Windows-1252
}

TEST(PageText, PagesAreToldFromTexts) {
    EXPECT_TRUE(pagetext::isHtml("text/html; charset=utf-8", "ok"));
    EXPECT_TRUE(pagetext::isHtml("application/xhtml+xml", ""));
    EXPECT_FALSE(pagetext::isHtml("text/plain", "<html><body>ok</body></html>"));
    EXPECT_TRUE(pagetext::isHtml("", "\n  <HTML><body>ok</body></html>"));
    EXPECT_TRUE(pagetext::isHtml("", "<!-- c -->ok"));
    EXPECT_TRUE(pagetext::isHtml("", "<p>ok"));
    EXPECT_FALSE(pagetext::isHtml("", "<pre>ok"));
    EXPECT_FALSE(pagetext::isHtml("", "ok"));
    EXPECT_FALSE(pagetext::isHtml("", ""));
}

// Random pages built from pieces that are neither preformatted nor line breaks must come out with
// blanks collapsed, no blank at a line's ends, and nothing of a script.
TEST(PageText, RandomPagesKeepTheInnerTextRules) {
    const QStringList pieces = {"a",
                                "bc ",
                                " d",
                                "\n",
                                "\t e\r\n",
                                "<b>",
                                "</b>",
                                "<div>",
                                "</div>",
                                "<p>",
                                "</p>",
                                "<li>",
                                "<span hidden>",
                                "</span>",
                                "&amp;",
                                "&#32;",
                                "<!--",
                                "-->",
                                "<a href=\"x\">",
                                "</a>",
                                "<title>",
                                "</title>",
                                "<td>",
                                "< ",
                                ">",
                                "<script>SECRET</script>",
                                "<h2>"};
    QRandomGenerator rng(20240611);
    for (int round = 0; round < 3000; ++round) {
        QString html;
        const int count = 1 + int(rng.bounded(24));
        for (int i = 0; i < count; ++i)
            html += pieces[int(rng.bounded(pieces.size()))];
        const QString text = innerText(html);
        SCOPED_TRACE(html.toStdString());
        EXPECT_FALSE(text.contains("SECRET"));
        EXPECT_FALSE(text.contains("  "));
        EXPECT_FALSE(text.contains(" \n") || text.contains("\n ") || text.contains("\t"));
        EXPECT_FALSE(text.startsWith(' ') || text.endsWith(' ') || text.startsWith('\n') ||
                     text.endsWith('\n'));
        EXPECT_FALSE(text.contains("\n\n\n"));
        if (HasFailure())
            break;
    }
}
