#include "newslist/community/VundCategoryJson.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>

namespace VundCategoryJson {

Reply read(const QByteArray& data)
{
    Reply reply;
    // Wrapped in an array, a bare number or text at the top reads as well.
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson("[" + data + "]", &error);
    if (error.error != QJsonParseError::NoError || !document.isArray() || document.array().size() != 1)
        return reply;
    reply.readable = true;
    const QJsonValue value = document.array().first();
    reply.isArray = value.isArray();
    if (reply.isArray)
        reply.array = value.toArray();
    return reply;
}

void forEachObject(const QJsonArray& array, const std::function<void(const QJsonObject&)>& each)
{
    for (const QJsonValue& element : array) {
        if (element.isObject())
            each(element.toObject());
    }
}

int64_t idOf(const QJsonObject& object, int64_t fallback)
{
    const QJsonValue id = object.value(QLatin1String("id"));
    if (id.isDouble()) {
        const double number = id.toDouble();
        if (std::isfinite(number) && std::fabs(number) < 9.2e18)
            return int64_t(number);
        return fallback;
    }
    if (id.isString()) {
        bool ok = false;
        const qlonglong number = id.toString().trimmed().toLongLong(&ok);
        return ok ? number : fallback;
    }
    return fallback;
}

}  // namespace VundCategoryJson
