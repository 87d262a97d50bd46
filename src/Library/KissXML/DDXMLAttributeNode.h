#pragma once

#include "Library/KissXML/DDXMLNode.h"

// An attribute. A detached attribute keeps its namespace as a private copy, which stays with the
// attribute's tree (so no second wrapper of the same attribute can lose it) and moves into the
// element's declarations when the attribute is added to one.
class DDXMLAttributeNode : public DDXMLNode
{
private:
    friend struct DDXMLPrivate::Access;
    DDXMLAttributeNode() = default;
};
