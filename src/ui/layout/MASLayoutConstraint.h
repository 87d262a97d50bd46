#pragma once

#include "ui/layout/LayoutConstraint.h"

#include <QVariant>

// The constraints the builder makes; they carry the statement's debugging key.
class MASLayoutConstraint : public LayoutConstraint
{
public:
    using LayoutConstraint::LayoutConstraint;

    QString className() const override { return QStringLiteral("MASLayoutConstraint"); }
    QString debugKey() const override;

    QVariant mas_key;
};
