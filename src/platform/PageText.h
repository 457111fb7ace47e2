// PageText: what a browser makes of a fetched page without running it: the decoded text,
// document.title and document.body.innerText. Pure functions; any thread.
#pragma once

#include <QByteArray>
#include <QString>

namespace pagetext {

// Whether a reply is a page (HTML) rather than text shown as it is. Without a Content-Type the
// start of the body decides, as browsers sniff it.
bool isHtml(const QByteArray& contentType, const QByteArray& body);

// Decodes a reply body: a byte-order mark, else the charset of `contentType`, else (for a page) a
// meta charset near the start, else UTF-8 when valid, else Windows-1252. `truncated` says the body
// was cut short, so a character cut in half at the end does not count against UTF-8.
QString decode(const QByteArray& body, const QByteArray& contentType, bool truncated = false);

// The page's title as document.title gives it: the first title element, entities decoded, blanks
// collapsed and trimmed; "" when there is none.
QString title(const QString& html);

// The page's body text as document.body.innerText gives it for a page without style sheets:
// hidden parts (head, scripts, styles, hidden elements) dropped, entities decoded, blanks
// collapsed, line breaks for <br>, blocks and paragraphs, tabs between table cells.
QString innerText(const QString& html);

} // namespace pagetext
