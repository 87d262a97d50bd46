#include "app/report/ServiceReply.h"

#include "foundation/xml/TTXMLParser.h"

QString ServiceReply::rootValue(const QByteArray& data)
{
    if (data.isEmpty())
        return {};
    TTXMLParser parser(data);
    parser.parse();
    const std::optional<TTXMLNodeDictionary>& root = parser.rootObject();
    if (!root.has_value())
        return {};
    const QVariant value = root->value(TTXMLKeys::kValue);
    if (!value.isValid())
        return {};
    return value.toString();
}
