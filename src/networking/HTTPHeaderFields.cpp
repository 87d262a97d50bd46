#include "networking/HTTPHeaderFields.h"

qsizetype HTTPHeaderFields::indexOf(const QString& field) const
{
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].first.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString HTTPHeaderFields::value(const QString& field) const
{
    const qsizetype i = indexOf(field);
    return i < 0 ? QString() : m_fields[i].second;
}

bool HTTPHeaderFields::contains(const QString& field) const
{
    return indexOf(field) >= 0;
}

void HTTPHeaderFields::setValue(const QString& value, const QString& field)
{
    if (value.isNull()) {
        remove(field);
        return;
    }
    const qsizetype i = indexOf(field);
    if (i < 0)
        m_fields.append({field, value});
    else
        m_fields[i].second = value;
}

void HTTPHeaderFields::remove(const QString& field)
{
    const qsizetype i = indexOf(field);
    if (i >= 0)
        m_fields.removeAt(i);
}

QVariantMap HTTPHeaderFields::toVariantMap() const
{
    QVariantMap map;
    for (const Field& f : m_fields)
        map.insert(f.first, f.second);
    return map;
}
