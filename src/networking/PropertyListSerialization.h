#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QVariant>

#include <optional>

// Property lists in the XML format, version 1.0: dictionaries (QVariantMap, QVariantHash),
// arrays (QVariantList, QStringList), strings, integers, reals, booleans, dates (QDateTime) and
// data (QByteArray). Other formats are refused with an error; nothing is thrown.
namespace PropertyListSerialization {

enum Format : unsigned {
    OpenStepFormat = 1,
    XMLFormat_v1_0 = 100,
    BinaryFormat_v1_0 = 200,
};

// Error codes in the Cocoa domain.
inline constexpr qint64 kReadCorruptError = 3840;
inline constexpr qint64 kWriteInvalidError = 3851;

// The XML text of the property list. Fails (empty, error set when given a slot) for a format
// other than XML, for values no property list can hold (null, other types) and for strings with
// characters XML cannot carry.
std::optional<QByteArray> dataWithPropertyList(const QVariant& plist, unsigned format, unsigned options,
                                               std::optional<Error>* error);

// The value of an XML property list document. Containers come back as QVariantMap and
// QVariantList whatever the options (they only choose mutability, which has no meaning here).
std::optional<QVariant> propertyListWithData(const QByteArray& data, unsigned options, std::optional<Error>* error);

}  // namespace PropertyListSerialization
