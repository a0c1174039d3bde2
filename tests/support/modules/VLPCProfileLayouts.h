// The payload layouts of the shipped VLPC definitions: one PacketFormat per
// function, with its request and reply layouts. The tests, the fuzz targets
// and the benchmarks of the VLPC module load their field lists from here,
// so that they exercise what the program sends and reads.
#ifndef VLPCPROFILELAYOUTS_H
#define VLPCPROFILELAYOUTS_H

#include <string>
#include <vector>

#include "base/xml/VLXmlDocument.h"
#include "base/xml/VLXmlElement.h"
#include "base/xml/VLXmlNodeList.h"
#include "modules/vlpc/VLPCFieldList.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XmlTestStream.h"

// The shipped VLPC definitions (resources/Settings/Default/VLPC.xml), read
// once; empty when they cannot be read.
inline const char* VLPCProfileLayoutsXml()
{
    static const std::string s_strXml = TestShippedDefinition("VLPC.xml");
    return s_strXml.c_str();
}

// Every layout of the definitions, loaded as a field list.
class CVLPCProfileLayouts
{
public:
    struct Layout
    {
        std::string strFunction;  // "5A01"
        bool bRecv;
        std::string strVersion;  // "" or "2"
        std::string strResult;   // "" or "1001"
        CVLPCFieldList* pList;
    };

    CVLPCProfileLayouts()
    {
        CTestStream stream(VLPCProfileLayoutsXml());
        m_Document.Load(&stream);
        CVLXmlNodeList* pFormats = m_Document.GetDocumentElement()->GetChildNodes();
        for (int i = 0; i < pFormats->GetLength(); ++i) {
            IVLXmlNode* pFormat = pFormats->Item(i);
            if (pFormat->GetNodeType() != 1 || pFormat->GetNodeName().Compare("PacketFormat") != 0)
                continue;
            std::string strFunction = static_cast<CVLXmlElement*>(pFormat)->GetAttribute("function").GetBuffer();
            CVLXmlNodeList* pData = pFormat->GetChildNodes();
            for (int j = 0; j < pData->GetLength(); ++j) {
                IVLXmlNode* pNode = pData->Item(j);
                if (pNode->GetNodeType() != 1)
                    continue;
                CVLXmlElement* pElement = static_cast<CVLXmlElement*>(pNode);
                Layout layout;
                layout.strFunction = strFunction;
                layout.bRecv = pElement->GetNodeName().Compare("RecvDataFormat") == 0;
                layout.strVersion = pElement->GetAttribute("version").GetBuffer();
                layout.strResult = pElement->GetAttribute("result").GetBuffer();
                layout.pList = new CVLPCFieldList();
                layout.pList->Load(nullptr, pElement);
                m_Layouts.push_back(layout);
            }
        }
    }
    ~CVLPCProfileLayouts()
    {
        for (Layout& layout : m_Layouts)
            delete layout.pList;
    }
    CVLPCProfileLayouts(const CVLPCProfileLayouts&) = delete;
    CVLPCProfileLayouts& operator=(const CVLPCProfileLayouts&) = delete;

    CVLPCFieldList* Find(const char* szFunction, bool bRecv, const char* szVersion = "", const char* szResult = "")
    {
        for (Layout& layout : m_Layouts) {
            if (layout.strFunction == szFunction && layout.bRecv == bRecv && layout.strVersion == szVersion &&
                layout.strResult == szResult)
                return layout.pList;
        }
        return nullptr;
    }

    std::vector<Layout> m_Layouts;

private:
    CVLXmlDocument m_Document;
};

#endif
