#include "modules/probe/VLMDProbe.h"

#include "modules/probe/VLProbe.h"
#include "base/core/VLException.h"
#include "base/core/VLTrace.h"

#define VLMDPROBE_MODULE "VLMDProbe"
const char* const s_szFile = "VLMDProbe";

CVLMDProbe::CVLMDProbe()
{
    CVLTrace::FunctionIn(VLMDPROBE_MODULE, s_szFile, __LINE__, "CVLMDProbe::CVLMDProbe()");
    CVLTrace::FunctionOut(VLMDPROBE_MODULE, s_szFile, __LINE__, "CVLMDProbe::CVLMDProbe()");
}

CVLMDProbe::~CVLMDProbe()
{
    CVLTrace::FunctionIn(VLMDPROBE_MODULE, s_szFile, __LINE__, "CVLMDProbe::~CVLMDProbe()");
    CVLTrace::FunctionOut(VLMDPROBE_MODULE, s_szFile, __LINE__, "CVLMDProbe::~CVLMDProbe()");
}

IVLModInstanceIF* CVLMDProbe::onNew()
{
    static const char* const kSignature = "IVLModInstanceIF* CVLMDProbe::onNew()";
    CVLTrace::FunctionIn(VLMDPROBE_MODULE, s_szFile, __LINE__, kSignature);
    IVLModInstanceIF* pInstanceIF = nullptr;
    try {
        pInstanceIF = new CVLProbe();
    }
    VL_CATCH_LADDER(VLMDPROBE_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLMDPROBE_MODULE, s_szFile, __LINE__, kSignature);
    return pInstanceIF;
}

void CVLMDProbe::onDelete(IVLModInstanceIF* pInstanceIF)
{
    static const char* const kSignature = "void CVLMDProbe::onDelete(IVLModInstanceIF* pInstanceIF)";
    CVLTrace::FunctionIn(VLMDPROBE_MODULE, s_szFile, __LINE__, kSignature);
    try {
        delete pInstanceIF;
    }
    VL_CATCH_LADDER(VLMDPROBE_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLMDPROBE_MODULE, s_szFile, __LINE__, kSignature);
}
