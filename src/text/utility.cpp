#include "text/utility.h"

#include "text/cp932.h"

#include <QFile>
#include <QList>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace zumen {

// ---- Database values ----

Variant NullToEmpty(const Variant &value)
{
    return value.isNull() ? Variant(QString()) : value;
}

Variant EmptyToSpace(const Variant &value)
{
    return value.isText() && value.toString().isEmpty() ? Variant(QStringLiteral(" ")) : value;
}

Variant NullToZero(const Variant &value)
{
    return value.isNull() ? Variant(0) : value;
}

// ---- Dates ----

namespace {

const QString kNoDate = QStringLiteral("0000/00/00");

std::optional<QDate> makeDate(int year, int month, int day)
{
    if (!QDate::isValid(year, month, day))
        return std::nullopt;
    return QDate(year, month, day);
}

// Years typed with one or two digits fall in 1930-2029.
int fullYear(const QString &digits)
{
    const int year = digits.toInt();
    if (digits.size() > 2)
        return year;
    return year + (year < 30 ? 2000 : 1900);
}

int eraFirstYear(const QString &era)
{
    static const QList<std::pair<QString, int>> eras = {
        {QStringLiteral("令和"), 2019}, {QStringLiteral("R"), 2019},    {QStringLiteral("平成"), 1989},
        {QStringLiteral("H"), 1989},    {QStringLiteral("昭和"), 1926}, {QStringLiteral("S"), 1926},
        {QStringLiteral("大正"), 1912}, {QStringLiteral("T"), 1912},    {QStringLiteral("明治"), 1868},
        {QStringLiteral("M"), 1868}};
    for (const auto &[name, year] : eras) {
        if (era.compare(name, Qt::CaseInsensitive) == 0)
            return year;
    }
    return 0;
}

} // namespace

QString DateText(const Variant &value)
{
    if (value.isDate())
        return FormatDate(value.toDate());
    if (value.isText()) {
        if (const auto date = ParseDate(value.toString()))
            return FormatDate(*date);
    }
    return kNoDate;
}

QString FormatDate(QDate date)
{
    if (!date.isValid())
        return kNoDate;
    return QStringLiteral("%1/%2/%3")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'));
}

QDate ZeroDate()
{
    return QDate(1899, 12, 30);
}

QString AsciiForms(const QString &text)
{
    return text.normalized(QString::NormalizationForm_KC);
}

std::optional<QDate> ParseDate(const QString &text, QDate today)
{
    const QString t = AsciiForms(text).trimmed();
    static const QRegularExpression ymd(QStringLiteral(R"(^(\d{1,4})([/.-])(\d{1,2})\2(\d{1,2})$)"));
    static const QRegularExpression ymdKanji(
        QStringLiteral(R"(^(\d{1,4})\s*年\s*(\d{1,2})\s*月\s*(\d{1,2})\s*日$)"));
    static const QRegularExpression md(
        QStringLiteral(R"(^(\d{1,2})(?:[/-](\d{1,2})|\s*月\s*(\d{1,2})\s*日)$)"));
    static const QRegularExpression era(
        QStringLiteral(R"(^(令和|平成|昭和|大正|明治|[RHSTM])\s*(\d{1,2}|元))"
                       R"((?:\s*年\s*(\d{1,2})\s*月\s*(\d{1,2})\s*日|([/.-])(\d{1,2})\5(\d{1,2}))$)"),
        QRegularExpression::CaseInsensitiveOption);

    QRegularExpressionMatch m = ymd.match(t);
    if (m.hasMatch())
        return makeDate(fullYear(m.captured(1)), m.captured(3).toInt(), m.captured(4).toInt());
    m = ymdKanji.match(t);
    if (m.hasMatch())
        return makeDate(fullYear(m.captured(1)), m.captured(2).toInt(), m.captured(3).toInt());
    m = md.match(t);
    if (m.hasMatch()) {
        const QString day = m.captured(2).isEmpty() ? m.captured(3) : m.captured(2);
        return makeDate(today.year(), m.captured(1).toInt(), day.toInt());
    }
    m = era.match(t);
    if (m.hasMatch()) {
        const int eraYear = m.captured(2) == QStringLiteral("元") ? 1 : m.captured(2).toInt();
        if (eraYear < 1)
            return std::nullopt;
        const bool kanjiForm = !m.captured(3).isEmpty();
        return makeDate(eraFirstYear(m.captured(1)) + eraYear - 1, m.captured(kanjiForm ? 3 : 6).toInt(),
                        m.captured(kanjiForm ? 4 : 7).toInt());
    }
    return std::nullopt;
}

QDate TextToDate(const QString &text)
{
    return ParseDate(text).value_or(ZeroDate());
}

// ---- Numbers ----

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Digits, "." and "-" survive, full-width ones as their ASCII forms: Japanese input methods
// type full-width digits by default, and dropping them stored 0 for "１２３４５".
QString numberChars(const QString &text)
{
    QString kept;
    for (const QChar c : AsciiForms(text)) {
        if (isDigit(c) || c == QLatin1Char('.') || c == QLatin1Char('-'))
            kept += c;
    }
    return kept;
}

} // namespace

double NumberValue(const QString &text)
{
    const QString kept = numberChars(text);
    qsizetype end = 0;
    bool anyDigit = false;
    if (end < kept.size() && kept.at(end) == QLatin1Char('-'))
        ++end;
    for (; end < kept.size() && isDigit(kept.at(end)); ++end)
        anyDigit = true;
    if (end < kept.size() && kept.at(end) == QLatin1Char('.')) {
        ++end;
        for (; end < kept.size() && isDigit(kept.at(end)); ++end)
            anyDigit = true;
    }
    if (!anyDigit)
        return 0.0;
    bool ok = false;
    const double value = kept.left(end).toDouble(&ok);
    // A digit run too long for a double is as unreadable as no digits at all.
    if (!ok || !std::isfinite(value) || value == 0.0)
        return 0.0;
    return value;
}

QString NumberText(const QString &text)
{
    const QString kept = numberChars(text);
    return kept.isEmpty() ? QStringLiteral("0") : kept;
}

QString NumText(double number)
{
    QString text = QString::number(number, 'G', 15);
    if (text.startsWith(QStringLiteral("0.")))
        text.remove(0, 1);
    else if (text.startsWith(QStringLiteral("-0.")))
        text.remove(1, 1);
    return text;
}

// ---- The number-format language ----

namespace {

// A non-negative number as its significant decimal digits: value = 0.digits × 10^point.
// Rounding on these digits rather than on the binary double makes 1.005 round to 1.01.
struct Decimal {
    QString digits; // no leading or trailing zeros; empty for zero
    int point = 0;
};

void trimZeros(Decimal &d)
{
    while (d.digits.endsWith(QLatin1Char('0')))
        d.digits.chop(1);
    if (d.digits.isEmpty())
        d.point = 0;
}

Decimal toDecimal(double magnitude)
{
    // 15 significant digits, as numbers are shown everywhere else; binary noise below that is dropped.
    const QString e = QString::number(magnitude, 'e', 14);
    const qsizetype ePos = e.indexOf(QLatin1Char('e'));
    Decimal d;
    d.digits = e.left(ePos).remove(QLatin1Char('.'));
    d.point = e.mid(ePos + 1).toInt() + 1;
    trimZeros(d);
    return d;
}

// Rounds half away from zero to the given number of decimal places.
void roundTo(Decimal &d, int decimals)
{
    const qsizetype keep = qsizetype{d.point} + decimals;
    if (keep >= d.digits.size())
        return;
    if (keep < 0) {
        d = {};
        return;
    }
    const bool up = d.digits.at(keep) >= QLatin1Char('5');
    d.digits.truncate(keep);
    if (up) {
        qsizetype i = keep - 1;
        while (i >= 0 && d.digits.at(i) == QLatin1Char('9'))
            d.digits[i--] = QLatin1Char('0');
        if (i < 0) {
            d.digits.prepend(QLatin1Char('1'));
            ++d.point;
        } else {
            d.digits[i] = QChar(d.digits.at(i).unicode() + 1);
        }
    }
    trimZeros(d);
}

QString integerDigits(const Decimal &d)
{
    if (d.point <= 0)
        return {};
    return d.digits.left(d.point).leftJustified(d.point, QLatin1Char('0'));
}

QString fractionDigits(const Decimal &d, int count)
{
    QString out;
    for (int k = 0; k < count; ++k) {
        const qsizetype i = qsizetype{d.point} + k;
        out += i >= 0 && i < d.digits.size() ? d.digits.at(i) : QLatin1Char('0');
    }
    return out;
}

enum class Kind { Digit, Point, Comma, Percent, Exponent, Literal, Skip };

struct Token {
    Kind kind;
    QString text;
};

using Section = QList<Token>;

// Splits a format text into at most three sections of tokens; ';' inside quotes or after '\' is literal.
QList<Section> parseFormat(const QString &format)
{
    QList<Section> sections(1);
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        Section &s = sections.last();
        if (c == QLatin1Char('"')) {
            qsizetype close = format.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0)
                close = format.size();
            s.append({Kind::Literal, format.mid(i + 1, close - i - 1)});
            i = close;
        } else if (c == QLatin1Char('\\')) {
            if (i + 1 < format.size())
                s.append({Kind::Literal, format.at(++i)});
        } else if (c == QLatin1Char(';')) {
            if (sections.size() == 3)
                break;
            sections.append(Section());
        } else if (c == QLatin1Char('0') || c == QLatin1Char('#')) {
            s.append({Kind::Digit, c});
        } else if (c == QLatin1Char('.')) {
            s.append({Kind::Point, c});
        } else if (c == QLatin1Char(',')) {
            s.append({Kind::Comma, c});
        } else if (c == QLatin1Char('%')) {
            s.append({Kind::Percent, c});
        } else if ((c == QLatin1Char('E') || c == QLatin1Char('e')) && i + 1 < format.size() &&
                   (format.at(i + 1) == QLatin1Char('+') || format.at(i + 1) == QLatin1Char('-'))) {
            s.append({Kind::Exponent, format.mid(i, 2)});
            ++i;
        } else {
            s.append({Kind::Literal, c});
        }
    }
    return sections;
}

// What a section asks for, once its commas, points and percent signs have been given their roles.
struct Plan {
    Section tokens;
    qsizetype point = -1;    // index of the decimal point
    qsizetype exponent = -1; // index of the exponent marker
    int integerPlaces = 0;
    int decimalPlaces = 0;
    bool grouping = false;
    int shift = 0; // powers of ten: +2 per %, -3 per scaling comma
};

Plan makePlan(const Section &section)
{
    Plan p;
    p.tokens = section;
    Section &t = p.tokens;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i].kind == Kind::Exponent && p.exponent < 0)
            p.exponent = i;
        else if (t[i].kind == Kind::Point && p.point < 0 && p.exponent < 0)
            p.point = i;
        else if (t[i].kind == Kind::Exponent || t[i].kind == Kind::Point)
            t[i].kind = Kind::Literal;
    }
    const qsizetype mantissaEnd = p.exponent < 0 ? t.size() : p.exponent;
    const qsizetype integerEnd = p.point < 0 ? mantissaEnd : p.point;
    qsizetype firstDigit = -1;
    qsizetype lastDigit = -1;
    for (qsizetype i = 0; i < mantissaEnd; ++i) {
        if (t[i].kind != Kind::Digit)
            continue;
        if (i < integerEnd) {
            ++p.integerPlaces;
            firstDigit = firstDigit < 0 ? i : firstDigit;
            lastDigit = i;
        } else {
            ++p.decimalPlaces;
        }
    }
    // Commas between integer digits group thousands; a run right after the last one scales by 1000 each.
    for (qsizetype i = lastDigit + 1; lastDigit >= 0 && i < integerEnd && t[i].kind == Kind::Comma; ++i) {
        p.shift -= 3;
        t[i].kind = Kind::Skip;
    }
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i].kind == Kind::Percent) {
            p.shift += 2;
            t[i].kind = Kind::Literal;
        } else if (t[i].kind == Kind::Comma) {
            t[i].kind = Kind::Literal;
            if (firstDigit >= 0 && i > firstDigit && i < lastDigit) {
                p.grouping = true;
                t[i].kind = Kind::Skip;
            }
        }
    }
    return p;
}

// Fills the digit placeholders of tokens[begin, end) from the right with digits; the leftmost
// placeholder takes whatever digits are left over, and '0' pads where digits run out.
QString fillFromRight(const Section &t, qsizetype begin, qsizetype end, const QString &digits, bool grouping)
{
    qsizetype firstDigit = -1;
    for (qsizetype i = begin; i < end && firstDigit < 0; ++i) {
        if (t[i].kind == Kind::Digit)
            firstDigit = i;
    }
    QString reversed;
    qsizetype next = digits.size() - 1;
    int written = 0;
    auto put = [&](QChar c) {
        if (grouping && written > 0 && written % 3 == 0)
            reversed += QLatin1Char(',');
        reversed += c;
        ++written;
    };
    for (qsizetype i = end - 1; i >= begin; --i) {
        if (t[i].kind == Kind::Digit) {
            if (next >= 0)
                put(digits.at(next--));
            else if (t[i].text == QLatin1String("0"))
                put(QLatin1Char('0'));
            while (i == firstDigit && next >= 0)
                put(digits.at(next--));
        } else if (t[i].kind == Kind::Literal) {
            for (qsizetype k = t[i].text.size() - 1; k >= 0; --k)
                reversed += t[i].text.at(k);
        }
    }
    std::reverse(reversed.begin(), reversed.end());
    return reversed;
}

// Formats a non-negative number by one section; zero tells whether it rounded to nothing.
QString formatSection(const Section &section, double magnitude, bool &zero)
{
    const Plan p = makePlan(section);
    const Section &t = p.tokens;
    zero = true;
    if (p.integerPlaces + p.decimalPlaces == 0) {
        QString literals;
        for (const Token &token : t) {
            if (token.kind != Kind::Skip)
                literals += token.text;
        }
        return literals;
    }

    Decimal d = toDecimal(magnitude);
    if (!d.digits.isEmpty())
        d.point += p.shift;
    int exponent = 0;
    if (p.exponent >= 0 && !d.digits.isEmpty()) {
        exponent = d.point - p.integerPlaces;
        d.point = p.integerPlaces;
    }
    roundTo(d, p.decimalPlaces);
    if (p.exponent >= 0 && d.point > p.integerPlaces) { // rounding carried into a new digit
        exponent += d.point - p.integerPlaces;
        d.point = p.integerPlaces;
    }
    zero = d.digits.isEmpty();

    const qsizetype mantissaEnd = p.exponent < 0 ? t.size() : p.exponent;
    const qsizetype integerEnd = p.point < 0 ? mantissaEnd : p.point;
    QString out = fillFromRight(t, 0, integerEnd, integerDigits(d), p.grouping);
    if (p.integerPlaces == 0) // ".00" still shows the whole part of 5.5
        out += integerDigits(d);
    if (p.point >= 0) {
        // '#' places drop the trailing zeros of the fraction; '0' places keep them.
        QString fraction = fractionDigits(d, p.decimalPlaces);
        int shown = p.decimalPlaces;
        for (qsizetype i = mantissaEnd - 1; i > p.point && shown > 0; --i) {
            if (t[i].kind != Kind::Digit)
                continue;
            if (t[i].text != QLatin1String("#") || fraction.at(shown - 1) != QLatin1Char('0'))
                break;
            --shown;
        }
        out += QLatin1Char('.');
        int k = 0;
        for (qsizetype i = p.point + 1; i < mantissaEnd; ++i) {
            if (t[i].kind == Kind::Digit) {
                if (k < shown)
                    out += fraction.at(k);
                ++k;
            } else if (t[i].kind == Kind::Literal) {
                out += t[i].text;
            }
        }
    }
    if (p.exponent >= 0) {
        const QString &marker = t[p.exponent].text;
        out += marker.at(0);
        if (exponent < 0)
            out += QLatin1Char('-');
        else if (marker.at(1) == QLatin1Char('+'))
            out += QLatin1Char('+');
        out += fillFromRight(t, p.exponent + 1, t.size(), QString::number(std::abs(exponent)), false);
    }
    return out;
}

// A text is formatted as a number only when all of it reads as one.
std::optional<double> textNumber(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

QString FormatNumber(const Variant &value, const QString &format)
{
    if (value.isNull())
        return {};
    if (value.isDate())
        return FormatDate(value.toDate());
    double number = value.toDouble();
    if (value.isText()) {
        const auto parsed = textNumber(value.toString());
        if (!parsed)
            return value.toString();
        number = *parsed;
    }
    if (format.isEmpty() || !std::isfinite(number))
        return NumText(number);

    const QList<Section> sections = parseFormat(format);
    const Section *section = &sections[0];
    bool minus = false;
    if (number < 0) {
        // The negative section shows the magnitude: its own literals say it is negative.
        if (sections.size() > 1 && !sections[1].isEmpty())
            section = &sections[1];
        else
            minus = true;
    } else if (number == 0 && sections.size() > 2 && !sections[2].isEmpty()) {
        section = &sections[2];
    }
    bool zero = true;
    const QString text = formatSection(*section, std::fabs(number), zero);
    // No "-0.00": a negative that rounds to nothing shows no sign.
    return minus && !zero ? QLatin1Char('-') + text : text;
}

QString FormatRight(const Variant &value, const QString &format)
{
    return (QString(20, QLatin1Char(' ')) + FormatNumber(value, format)).right(format.size());
}

// ---- Texts and files ----

QString ClipToMaxLength(const QString &text, int maxBytes)
{
    if (maxBytes <= 0)
        return {};
    return text.left(cp932PrefixLength(text, maxBytes));
}

bool HasText(const QString &text)
{
    for (const QChar c : text) {
        if (c != QLatin1Char(' '))
            return true;
    }
    return false;
}

bool RenameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace rename: a hard link is refused when the name exists.
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    ::unlink(source.constData());
    return true;
}

} // namespace zumen
