// Shared pieces of the VLPC module's tests: a module initialized from
// definition XML and hex helpers.
#ifndef VLPCTESTHELPERS_H
#define VLPCTESTHELPERS_H

#include <cstdio>
#include <string>
#include <vector>

#include "base/core/VLException.h"
#include "base/xml/VLXmlDocument.h"
#include "cm/VLCMApi.h"
#include "cm/VLModuleController.h"
#include "cm/VLModuleParamCollection.h"
#include "modules/vlpc/VLMDVLPC.h"
#include "tests/support/XmlTestStream.h"
#include "tests/support/TestSupport.h"

inline std::string VLPCHex(const VL_BYTE* p, int n)
{
    std::string s;
    char sz[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(sz, sizeof(sz), i ? " %02x" : "%02x", p[i]);
        s += sz;
    }
    return s;
}

inline std::vector<VL_BYTE> VLPCBytes(const char* szHex)
{
    std::vector<VL_BYTE> v;
    unsigned int n;
    int nUsed;
    for (const char* sz = szHex; std::sscanf(sz, " %2x%n", &n, &nUsed) == 1; sz += nUsed)
        v.push_back(static_cast<VL_BYTE>(n));
    return v;
}

// A VLPC module initialized from a "VLPC" definition document.
class CVLPCTestModule
{
public:
    explicit CVLPCTestModule(const std::string& strXml) { Load(strXml); }
    ~CVLPCTestModule() { m_Module.Terminate(&m_Params); }
    // Terminates the module and initializes it again from strXml; a
    // definition error passes on.
    void Load(const std::string& strXml)
    {
        m_Module.Terminate(&m_Params);
        CVLModuleController* pController = m_Api.GetModuleController();
        CVLXmlDocument* pDocument = pController->GetDefineDocument("VLPC", true);
        CTestStream stream(strXml);
        pDocument->Load(&stream);
        m_Params.SetController(pController);
        m_Module.Initialize(&m_Params);
    }

    CVLCMApi m_Api;
    CVLMDVLPC m_Module;
    CVLModuleParamCollection m_Params;
};

#endif
