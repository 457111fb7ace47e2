// The list box's search must find what comparing every item's text in turn finds, however the
// list was filled or changed since.
#include "catalogue/ChannelListBox.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

int byItemTexts(const ChannelListBox& box, const QString& text) {
    for (int row = 0; row < box.count(); ++row)
        if (box.item(row)->text().startsWith(text, Qt::CaseInsensitive))
            return row;
    return -1;
}

const QStringList kTyped = {"",           "c",  "C",   "canal", "CANAL D", "tel", "TELÉ", "télé s",
                            "ñ",          "Ño", "STR", "ß",     "σ",       "Σ",   "ΣΟΦ",  "x",
                            "canal uno ", "😀",  "😀b",  "ǅ",     "ǆa",      "ﬀ",   " "};

void expectSameAsItemTexts(const ChannelListBox& box, const char* when) {
    for (const QString& typed : kTyped)
        EXPECT_EQ(box.findString(typed), byItemTexts(box, typed))
            << when << ": \"" << typed.toStdString() << '"';
}

} // namespace

TEST(ChannelListBoxSearch, FindsTheFirstItemBeginningWithTheTextWhateverHappenedToTheList) {
    ChannelListBox box;
    EXPECT_EQ(box.findString("a"), -1);
    EXPECT_EQ(box.findString(""), -1);

    box.addItems({"Canal Uno", "canal dos", "Telé Sur", "TELÉ NORTE", "Ñoño TV", "Straße", "ΣΟΦΙΑ", "σοφία",
                  "😀Bien", "ǅemal", " Espacio"});
    expectSameAsItemTexts(box, "filled");
    EXPECT_EQ(box.findString("CANAL"), 0);
    EXPECT_EQ(box.findString("telé n"), 3);
    EXPECT_EQ(box.findString("nada"), -1);

    box.insertItem(0, QStringLiteral("Canal Cero"));
    box.item(3)->setText(QStringLiteral("Otra Cosa")); // was "Telé Sur"
    delete box.takeItem(2);                            // "canal dos"
    expectSameAsItemTexts(box, "edited");
    EXPECT_EQ(box.findString("canal"), 0);
    EXPECT_EQ(box.findString("telé"), 3); // "Telé Sur" is "Otra Cosa" now

    box.sortItems();
    expectSameAsItemTexts(box, "sorted");

    box.clear();
    EXPECT_EQ(box.findString(""), -1);
    box.addItem(QStringLiteral("Radio"));
    expectSameAsItemTexts(box, "refilled");
}
