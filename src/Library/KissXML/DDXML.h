#pragma once

// The XML document tree in one include.
#include "Library/KissXML/DDXMLAttributeNode.h"
#include "Library/KissXML/DDXMLDocument.h"
#include "Library/KissXML/DDXMLElement.h"
#include "Library/KissXML/DDXMLInvalidNode.h"
#include "Library/KissXML/DDXMLNamespaceNode.h"
#include "Library/KissXML/DDXMLNode.h"
#include "Library/KissXML/DDXMLStringAdditions.h"
