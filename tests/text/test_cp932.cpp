#include "text/cp932.h"

#include <gtest/gtest.h>

using namespace zumen;

TEST(Cp932, EncodesDecodesMarksWhatItCannotAndCutsWhole)
{
    // ASCII, hiragana, half-width katakana, and the wave dash an input method types for 〜.
    EXPECT_EQ(toCp932(QStringLiteral("aあｱ〜")), QByteArray("a\x82\xA0\xB1\x81\x60"));
    EXPECT_EQ(cp932Length(QStringLiteral("日本語abcｱ")), 10);
    EXPECT_EQ(fromCp932(QByteArray("a\x82\xA0\xB1")), QStringLiteral("aあｱ"));
    // An unrepresentable character becomes one question mark.
    EXPECT_EQ(toCp932(QStringLiteral("a😀b")), QByteArray("a?b"));
    EXPECT_EQ(toCp932(QString(QChar(0xD800)) + QLatin1Char('x')), QByteArray("?x"));
    EXPECT_EQ(cp932Length(QStringLiteral("😀")), 1);
    // Invalid bytes are no text.
    EXPECT_FALSE(fromCp932(QByteArray("ab\x82")).has_value()); // lead byte without its trail
    EXPECT_FALSE(fromCp932(QByteArray("\x82\x20")).has_value());
    // A prefix never ends inside a character; the surrogate pair goes whole.
    const QString text = QStringLiteral("aＢ😀c");
    const std::pair<int, qsizetype> prefixes[] = {{0, 0}, {2, 1}, {3, 2}, {4, 4}, {100, text.size()}};
    for (const auto &[bytes, length] : prefixes)
        EXPECT_EQ(cp932PrefixLength(text, bytes), length) << bytes;
}
