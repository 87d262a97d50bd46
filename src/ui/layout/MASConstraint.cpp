#include "ui/layout/MASConstraint.h"

#include "ui/layout/MASLayoutConstraint.h"

namespace {

bool isNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

}  // namespace

void MASConstraint::setLayoutConstantWithValue(const QVariant& value)
{
    if (isNumber(value))
        setOffset(value.toDouble());
    else if (value.typeId() == QMetaType::QPointF || value.typeId() == QMetaType::QPoint)
        setCenterOffset(value.toPointF());
    else if (value.typeId() == QMetaType::QSizeF || value.typeId() == QMetaType::QSize)
        setSizeOffset(value.toSizeF());
    else if (value.metaType() == QMetaType::fromType<NSEdgeInsets>())
        setInsets(value.value<NSEdgeInsets>());
}

QString MASLayoutConstraint::debugKey() const
{
    return mas_key.isValid() ? mas_key.toString() : QString();
}
