#pragma once

#include "Library/KissXML/DDXML.h"

#include <gtest/gtest.h>

namespace KissXMLTest {

inline std::shared_ptr<DDXMLDocument> parse(const QString& xml)
{
    Error error;
    auto doc = DDXMLDocument::initWithXMLString(xml, 0, &error);
    EXPECT_TRUE(doc) << qPrintable(xml);
    return doc;
}

template <typename Call>
QString raisedReason(Call&& call)
{
    try {
        call();
    } catch (const DDXMLException& exception) {
        EXPECT_EQ(exception.name(), QStringLiteral("NSInternalInconsistencyException"));
        return exception.reason();
    }
    return QStringLiteral("<nothing raised>");
}

}  // namespace KissXMLTest
