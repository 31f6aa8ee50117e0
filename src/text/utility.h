#pragma once

#include "text/variant.h"

#include <QDate>
#include <QString>

#include <optional>

namespace zumen {

// Database values: how Null and empty text travel between fields and controls.
Variant NullToEmpty(const Variant &value);
Variant EmptyToSpace(const Variant &value);
Variant NullToZero(const Variant &value);

// Full-width digits, signs, separators, letters and blanks (and ㍻ and the like) as their
// plain forms (Unicode NFKC), as typed entries are read.
QString AsciiForms(const QString &text);

// Dates are shown only as yyyy/MM/dd; "0000/00/00" stands for no date.
QString DateText(const Variant &value);
QString FormatDate(QDate date);
// 1899-12-30, what an unreadable date becomes; callers treat it as no date.
QDate ZeroDate();
// The date a typed text denotes: 2001/3/5, 01/3/5, 2001-3-5, 2001.3.5, 2001年3月5日, 3/5, 3月5日,
// 平成13年3月5日, H13/3/5 and the like; full-width forms too. Two-digit years 00-29 are 2000s.
std::optional<QDate> ParseDate(const QString &text, QDate today = QDate::currentDate());
QDate TextToDate(const QString &text);

// Numbers typed with other characters keep only their digits, "." and "-" (full-width ones read as ASCII).
double NumberValue(const QString &text);
QString NumberText(const QString &text);
// Locale-free text for SQL: 15 significant digits, ".5" rather than "0.5", 1E+20 for large numbers.
QString NumText(double number);

// Formats a number by a format text: 0 # , . % E+ E- "literal" \x and up to three sections
// (positive;negative;zero). Null gives "", a text that is no number comes back unchanged.
QString FormatNumber(const Variant &value, const QString &format);
// The formatted value right-aligned in a field as wide as the format; a longer value loses its left end.
QString FormatRight(const Variant &value, const QString &format);

// Cuts text to maxBytes of cp932 without splitting a character.
QString ClipToMaxLength(const QString &text, int maxBytes);

bool HasText(const QString &text);

// Gives a file a new name only if nothing has that name yet, in one step that another
// process cannot come between (QFile::rename falls back to copying over a file that
// appeared meanwhile). False, with nothing changed, when the name is taken or the move fails.
bool RenameNoReplace(const QString &from, const QString &to);

} // namespace zumen
