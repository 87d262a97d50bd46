#include "foundation/xml/TFHpple.h"

#include "foundation/xml/XPathQuery.h"

TFHpple::TFHpple(QByteArray data, QString encoding, bool isXML)
    : m_data(std::move(data)), m_encoding(std::move(encoding)), m_isXML(isXML)
{
}

TFHpple& TFHpple::initWithData(const QByteArray& data, const QString& encoding, bool isXML)
{
    m_data = data;
    m_encoding = encoding;
    m_isXML = isXML;
    return *this;
}

TFHpple& TFHpple::initWithData(const QByteArray& data, bool isXML)
{
    return initWithData(data, QString(), isXML);
}

TFHpple& TFHpple::initWithXMLData(const QByteArray& data, const QString& encoding)
{
    return initWithData(data, encoding, true);
}

TFHpple& TFHpple::initWithXMLData(const QByteArray& data)
{
    return initWithData(data, QString(), true);
}

TFHpple& TFHpple::initWithHTMLData(const QByteArray& data, const QString& encoding)
{
    return initWithData(data, encoding, false);
}

TFHpple& TFHpple::initWithHTMLData(const QByteArray& data)
{
    return initWithData(data, QString(), false);
}

TFHpple TFHpple::hppleWithData(const QByteArray& data, const QString& encoding, bool isXML)
{
    return TFHpple(data, encoding, isXML);
}

TFHpple TFHpple::hppleWithData(const QByteArray& data, bool isXML)
{
    return TFHpple(data, QString(), isXML);
}

TFHpple TFHpple::hppleWithHTMLData(const QByteArray& data, const QString& encoding)
{
    return TFHpple(data, encoding, false);
}

TFHpple TFHpple::hppleWithHTMLData(const QByteArray& data)
{
    return TFHpple(data, QString(), false);
}

TFHpple TFHpple::hppleWithXMLData(const QByteArray& data, const QString& encoding)
{
    return TFHpple(data, encoding, true);
}

TFHpple TFHpple::hppleWithXMLData(const QByteArray& data)
{
    return TFHpple(data, QString(), true);
}

TFHppleElementList TFHpple::searchWithXPathQuery(const QString& query) const
{
    const std::optional<QVariantList> nodes = m_isXML ? PerformXMLXPathQueryWithEncoding(m_data, query, m_encoding)
                                                      : PerformHTMLXPathQueryWithEncoding(m_data, query, m_encoding);
    TFHppleElementList elements;
    if (!nodes)
        return elements;
    elements.reserve(nodes->size());
    for (const QVariant& node : *nodes)
        elements.append(TFHppleElement::hppleElementWithNode(node.toMap(), m_isXML, m_encoding));
    return elements;
}

std::shared_ptr<TFHppleElement> TFHpple::peekAtSearchWithXPathQuery(const QString& query) const
{
    const TFHppleElementList elements = searchWithXPathQuery(query);
    return elements.isEmpty() ? nullptr : elements.first();
}
