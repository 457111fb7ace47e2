// HtmlTokens: the lexical side of HTML as browsers read it: character references and a
// forgiving tokenizer. Pure functions and a value type; any thread.
#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <utility>

namespace html {

// The blanks of HTML (not every Unicode space: a no-break space is text).
bool isSpace(QChar c);

// Character references in text (&amp;, &eacute;, &#233;, &#xE9;), decoded as a browser does.
QString decodeEntities(QStringView text);

struct Token {
    enum Kind { Text, StartTag, EndTag, End } kind = End;
    QStringView text;                              // Text: undecoded
    QString name;                                  // tags: lower case
    QList<std::pair<QString, QString>> attributes; // values decoded
    bool selfClosing = false;

    QString attribute(const QString& key, bool* present = nullptr) const;
};

// Text, start and end tags; comments, doctypes and processing instructions are skipped. It never
// fails: whatever is not markup is text. The tokens view the source, which must outlive them.
class Tokenizer {
public:
    explicit Tokenizer(QStringView source) : m_s(source) {}

    Token next();
    // The content of a raw-text element (script, style, title...) up to its end tag, which is
    // consumed too. Markup inside is not markup.
    QStringView rawText(const QString& name);
    // Everything left, as text.
    QStringView rest();

private:
    qsizetype nextMarkup(qsizetype from) const;
    void skipPast(QChar c);
    void skipComment();
    QString readName();
    void skipSpaces();
    void readAttributes(Token& t);

    QStringView m_s;
    qsizetype m_pos = 0;
};

} // namespace html
