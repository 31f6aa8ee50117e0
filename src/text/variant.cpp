#include "text/variant.h"

#include <cmath>

namespace zumen {

double Variant::toDouble() const
{
    if (isInteger())
        return static_cast<double>(std::get<std::int64_t>(m_value));
    if (isDouble())
        return std::get<double>(m_value);
    return 0.0;
}

std::int64_t Variant::toInteger() const
{
    if (isInteger())
        return std::get<std::int64_t>(m_value);
    if (isDouble()) {
        const double d = std::get<double>(m_value);
        // Out-of-range doubles would be undefined behaviour in the cast.
        if (!std::isfinite(d) || std::fabs(d) > 9.2e18)
            return 0;
        return static_cast<std::int64_t>(std::llround(d));
    }
    return 0;
}

QString Variant::toString() const
{
    if (isText())
        return std::get<QString>(m_value);
    if (isInteger())
        return QString::number(std::get<std::int64_t>(m_value));
    if (isDouble())
        return QString::number(std::get<double>(m_value), 'g', 15);
    if (isDate())
        return std::get<QDate>(m_value).toString(QStringLiteral("yyyy/MM/dd"));
    return {};
}

} // namespace zumen
