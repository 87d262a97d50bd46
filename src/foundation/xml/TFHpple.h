#pragma once

#include "foundation/xml/TFHppleElement.h"

#include <QByteArray>
#include <QString>

// An HTML or XML page held in memory, searched with path queries. Every search parses the page
// again, so callers keep the number of searches per page small.
class TFHpple
{
public:
    TFHpple() = default;
    TFHpple(QByteArray data, QString encoding, bool isXML);

    TFHpple& initWithData(const QByteArray& data, const QString& encoding, bool isXML);
    TFHpple& initWithData(const QByteArray& data, bool isXML);
    TFHpple& initWithXMLData(const QByteArray& data, const QString& encoding);
    TFHpple& initWithXMLData(const QByteArray& data);
    TFHpple& initWithHTMLData(const QByteArray& data, const QString& encoding);
    TFHpple& initWithHTMLData(const QByteArray& data);

    static TFHpple hppleWithData(const QByteArray& data, const QString& encoding, bool isXML);
    static TFHpple hppleWithData(const QByteArray& data, bool isXML);
    static TFHpple hppleWithHTMLData(const QByteArray& data, const QString& encoding);
    static TFHpple hppleWithHTMLData(const QByteArray& data);
    static TFHpple hppleWithXMLData(const QByteArray& data, const QString& encoding);
    static TFHpple hppleWithXMLData(const QByteArray& data);

    const QByteArray& data() const { return m_data; }
    // Null when the parser is left to detect the encoding.
    const QString& encoding() const { return m_encoding; }
    bool isXML() const { return m_isXML; }

    // Every node the query selects, in document order; empty when none matched, the page did not
    // parse or the query does not select nodes.
    TFHppleElementList searchWithXPathQuery(const QString& query) const;
    std::shared_ptr<TFHppleElement> peekAtSearchWithXPathQuery(const QString& query) const;

private:
    QByteArray m_data;
    QString m_encoding;
    bool m_isXML = false;
};
