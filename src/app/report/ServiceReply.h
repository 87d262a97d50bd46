#pragma once

#include <QByteArray>
#include <QString>

// The small XML replies of the push, reminder and device-tail services carry one value: the
// root element's text.
namespace ServiceReply {

// The root's "___Entity_Value___" as text; null when the bytes are not a document or the root
// has no text.
QString rootValue(const QByteArray& data);

}  // namespace ServiceReply
