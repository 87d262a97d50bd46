#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>

#include <functional>
#include <optional>

// The community service's channel replies: UTF-8 JSON, a bare value at the top allowed.
namespace VundCategoryJson {

// What a reply read as.
struct Reply
{
    bool readable = false;  // false: not JSON at all, nothing may change
    bool isArray = false;
    QJsonArray array;       // the elements when isArray
};

Reply read(const QByteArray& data);

// Calls each with every element that is an object, in order; other elements are skipped.
void forEachObject(const QJsonArray& array, const std::function<void(const QJsonObject&)>& each);

// "id" as a 64-bit integer (a number, or a text holding one); fallback otherwise.
int64_t idOf(const QJsonObject& object, int64_t fallback);

}  // namespace VundCategoryJson
