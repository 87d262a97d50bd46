#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariantMap>

// The header fields of a request or a response. Field names compare without regard to case, as
// HTTP wants ("last-modified" finds "Last-Modified"); the spelling and the order in which fields
// were first set are kept for sending.
class HTTPHeaderFields
{
public:
    using Field = QPair<QString, QString>;

    // The value of the field; a null text when the field is absent.
    QString value(const QString& field) const;
    bool contains(const QString& field) const;
    // Sets the field, replacing any value it had; a null value removes the field.
    void setValue(const QString& value, const QString& field);
    void remove(const QString& field);

    const QList<Field>& fields() const { return m_fields; }
    bool isEmpty() const { return m_fields.isEmpty(); }
    qsizetype size() const { return m_fields.size(); }
    // Field name to value, for user-info dictionaries.
    QVariantMap toVariantMap() const;

    bool operator==(const HTTPHeaderFields& other) const = default;

private:
    qsizetype indexOf(const QString& field) const;

    QList<Field> m_fields;
};
