#include "text/cp932.h"

#include <gtest/gtest.h>

using namespace zumen;

TEST(Cp932, EncodesSingleAndDoubleByteCharacters)
{
    // ASCII, hiragana, half-width katakana, and the wave dash an input method types for 〜.
    EXPECT_EQ(toCp932(QStringLiteral("aあｱ〜")), QByteArray("a\x82\xA0\xB1\x81\x60"));
    EXPECT_EQ(cp932Length(QStringLiteral("日本語abcｱ")), 10);
    EXPECT_EQ(fromCp932(QByteArray("a\x82\xA0\xB1")), QStringLiteral("aあｱ"));
    EXPECT_EQ(fromCp932(QByteArray()), QString());
}

TEST(Cp932, UnrepresentableCharactersBecomeOneQuestionMark)
{
    EXPECT_EQ(toCp932(QStringLiteral("a😀b")), QByteArray("a?b"));
    EXPECT_EQ(toCp932(QString(QChar(0xD800)) + QLatin1Char('x')), QByteArray("?x"));
    EXPECT_EQ(cp932Length(QStringLiteral("😀")), 1);
}

TEST(Cp932, InvalidBytesAreNoText)
{
    EXPECT_FALSE(fromCp932(QByteArray("ab\x82")).has_value()); // lead byte without its trail
    EXPECT_FALSE(fromCp932(QByteArray("\x82\x20")).has_value());
}

TEST(Cp932, PrefixNeverEndsInsideACharacter)
{
    const QString text = QStringLiteral("aＢ😀c");
    EXPECT_EQ(cp932PrefixLength(text, 0), 0);
    EXPECT_EQ(cp932PrefixLength(text, 2), 1);
    EXPECT_EQ(cp932PrefixLength(text, 3), 2);
    EXPECT_EQ(cp932PrefixLength(text, 4), 4); // the surrogate pair goes whole
    EXPECT_EQ(cp932PrefixLength(text, 100), text.size());
}
