#pragma once

#include <QString>

#include <stdexcept>

namespace zumen {

// A fault with the number a caller tests for and a description for the user; windows show
// anything they do not test for as number, carriage return, description.
class NumberedError : public std::runtime_error {
public:
    NumberedError(int number, const QString &description, const QString &source = {})
        : std::runtime_error(description.toStdString()), m_number(number), m_description(description),
          m_source(source)
    {}

    int number() const { return m_number; }
    QString description() const { return m_description; }
    QString source() const { return m_source; }
    // The alert text for a fault nobody tests for: the number, character 13, the description.
    QString alertText() const { return QString::number(m_number) + u'\r' + m_description; }

private:
    int m_number;
    QString m_description;
    QString m_source;
};

} // namespace zumen
