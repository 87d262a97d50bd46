#pragma once

#include "Library/KissXML/DDXMLNode.h"

// A namespace declaration: name is the prefix, stringValue the URI.
class DDXMLNamespaceNode : public DDXMLNode
{
public:
    // The element (or, for the XML namespace, the document) that declares it; null when it
    // stands alone.
    xmlNodePtr nsParentPtr() const { return m_nsParent; }

private:
    friend struct DDXMLPrivate::Access;
    DDXMLNamespaceNode() = default;

    xmlNodePtr m_nsParent = nullptr;
};
