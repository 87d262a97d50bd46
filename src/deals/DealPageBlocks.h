#pragma once

#include "platform/Installed.h"

#include <QString>
#include <QVariantList>

#include <memory>

// The deal page's "大家还在买" block is built by the article page's fragment builder, a floor
// above; the deal page reaches it through this interface, installed at start-up. Without one the
// page has no such block.
class DealPageBlocks : public Installed<DealPageBlocks>
{
public:
    virtual ~DealPageBlocks() = default;
    // The deals list items (JSON objects) and the id the block belongs to: that id followed by
    // the block's HTML.
    virtual QString GetNewsPageHaiZaiMaiBody(const QVariantList& items, const QString& newsId) = 0;
};
