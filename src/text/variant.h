#pragma once

#include <QDate>
#include <QString>

#include <cstdint>
#include <variant>

namespace zumen {

// The value of a database field or of a helper argument: Null, a whole number,
// a double, a text or a date. Default-constructed it is Null, as an unset field is.
class Variant {
public:
    Variant() = default;
    Variant(std::int64_t v) : m_value(v) {}
    Variant(int v) : m_value(std::int64_t{v}) {}
    Variant(double v) : m_value(v) {}
    Variant(QString v) : m_value(std::move(v)) {}
    Variant(const char *v) : m_value(QString::fromUtf8(v)) {}
    Variant(QDate v) : m_value(v) {}

    static Variant null() { return {}; }

    bool isNull() const { return std::holds_alternative<std::monostate>(m_value); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(m_value); }
    bool isDouble() const { return std::holds_alternative<double>(m_value); }
    bool isNumber() const { return isInteger() || isDouble(); }
    bool isText() const { return std::holds_alternative<QString>(m_value); }
    bool isDate() const { return std::holds_alternative<QDate>(m_value); }

    // Numbers as a double; Null, texts and dates give 0.
    double toDouble() const;
    // Numbers rounded to a whole number; other kinds give 0.
    std::int64_t toInteger() const;
    // Texts as they are, numbers in locale-free decimal, dates as yyyy/MM/dd, Null as "".
    QString toString() const;
    // Dates as they are; anything else gives an invalid QDate.
    QDate toDate() const { return isDate() ? std::get<QDate>(m_value) : QDate(); }

    bool operator==(const Variant &other) const = default;

private:
    std::variant<std::monostate, std::int64_t, double, QString, QDate> m_value;
};

} // namespace zumen
