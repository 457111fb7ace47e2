// Windows-1252 decoding by table must give what Qt's converter gives, byte for byte.
#include "platform/Text.h"

#include <QStringDecoder>
#include <gtest/gtest.h>

TEST(Windows1252, EveryByteAndWholeTextsDecodeAsQtsConverterDoes) {
    QStringDecoder reference("windows-1252");
    ASSERT_TRUE(reference.isValid());
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, char(b));
        EXPECT_EQ(text::decodeWindows1252(one), QString(reference.decode(one))) << "byte " << b;
        all += one;
    }
    EXPECT_EQ(text::decodeWindows1252(all), QString(reference.decode(all)));
    EXPECT_EQ(text::decodeWindows1252("Tel\xe9 Sur \x80 \x93"
                                      "citas\x94 \xd1"),
              QString::fromUtf8("Telé Sur € “citas” Ñ"));
    EXPECT_EQ(text::decodeWindows1252(QByteArray()), QString());
}
