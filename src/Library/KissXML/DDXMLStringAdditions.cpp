#include "Library/KissXML/DDXMLStringAdditions.h"

namespace DDXML {

QByteArray xmlChar(const QString& string)
{
    return string.toUtf8();
}

QString stringByTrimming(const QString& string)
{
    return string.trimmed();
}

}  // namespace DDXML
