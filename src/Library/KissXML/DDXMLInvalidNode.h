#pragma once

#include "Library/KissXML/DDXMLNode.h"

// A node without a structure: queries answer nil, 0, "" or an empty list; changes do nothing.
class DDXMLInvalidNode : public DDXMLNode
{
private:
    friend struct DDXMLPrivate::Access;
    friend class DDXMLNode;
    DDXMLInvalidNode() = default;
};
