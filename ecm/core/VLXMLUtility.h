// Small static operations on XML text for the device manager: checking a
// loaded device list and matching its elements by local name and namespace
// URI (whatever prefix the file uses), and building tags, namespace
// declarations, attributes and escaped character data. Failures are traced
// and answered with false; nothing is thrown to the caller.
#ifndef VLXMLUTILITY_H
#define VLXMLUTILITY_H

#include "base/core/VLString.h"
#include "base/core/VLTypes.h"

class CVLXmlDocument;
class IVLStream;
class IVLXmlNode;

class CVLXMLUtility
{
public:
    // The kinds of tag MakeXMLElementTag writes.
    enum
    {
        XML_TAG_START = 0,       // "<name>"
        XML_TAG_START_OPEN = 1,  // "<name", attributes may follow
        XML_TAG_END = 2,         // "</name>"
        XML_TAG_EMPTY = 3        // "<name/>"
    };

    virtual ~CVLXMLUtility() {}

    static bool MakeNodeName(CVLString& strOut, VL_CONST_STR szLocalName, VL_CONST_STR szNamespacePrefix);
    static bool MakeXMLElementTag(CVLString& strOut, int eXMLTagType, VL_CONST_STR szElementName,
                                  VL_CONST_STR szNamespacePrefix);
    static bool MakeXMLNamespaceDeclaration(CVLString& strOut, VL_CONST_STR szNamespaceURI,
                                            VL_CONST_STR szNamespacePrefix);
    // The value is copied as it is: escape it first with ConvertPredefinedEntities.
    static bool MakeXMLAttribute(CVLString& strOut, VL_CONST_STR szAttributeName, VL_CONST_STR szNamespacePrefix,
                                 VL_CONST_STR szValue);
    static bool ConvertPredefinedEntities(VL_CONST_STR szSrc, CVLString& strOut);
    // Version "1.0" and encoding "utf-8", in any letter case.
    static bool ValidateXMLDeclaration(CVLXmlDocument& document);
    // The local name exactly, the namespace URI in any letter case.
    static bool MatchNode(const IVLXmlNode* pNode, VL_CONST_STR szLocalName, VL_CONST_STR szNamespaceURI);
    // A debug dump of a device: with tracing on (and messages passing the
    // filter), the stream's text is traced, one line each, after a line
    // naming the file, the label and the value; otherwise nothing is read.
    static void DebugHook(IVLStream* pStream, VL_CONST_STR szFileName, VL_CONST_STR szLabel, int nValue);

private:
    static bool CompareLocalName(const IVLXmlNode* pNode, VL_CONST_STR szLocalName);
    static bool CompareNamespaceURI(const IVLXmlNode* pNode, VL_CONST_STR szNamespaceURI);
};

#endif
