#pragma once

#include <QByteArray>
#include <QString>

// String additions of the XML document tree.
namespace DDXML {

// The string's UTF-8 bytes, as libxml2 takes text.
QByteArray xmlChar(const QString& string);
// A copy without leading and trailing white space and line ends.
QString stringByTrimming(const QString& string);

}  // namespace DDXML
