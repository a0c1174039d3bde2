#include "modules/execfunc/VLMDExecFunc.h"

#include "modules/execfunc/VLExecFunc.h"
#include "base/core/VLException.h"
#include "base/core/VLTrace.h"

#define VLEXECFUNC_MODULE "VLExecFunc"
const char* const s_szFile = "VLMDExecFunc";

CVLMDExecFunc::CVLMDExecFunc()
{
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, s_szFile, __LINE__, "CVLMDExecFunc::CVLMDExecFunc()");
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, s_szFile, __LINE__, "CVLMDExecFunc::CVLMDExecFunc()");
}

CVLMDExecFunc::~CVLMDExecFunc()
{
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, s_szFile, __LINE__, "CVLMDExecFunc::~CVLMDExecFunc()");
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, s_szFile, __LINE__, "CVLMDExecFunc::~CVLMDExecFunc()");
}

IVLModInstanceIF* CVLMDExecFunc::onNew()
{
    static const char* const kSignature = "IVLModInstanceIF* CVLMDExecFunc::onNew()";
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
    IVLModInstanceIF* pInstanceIF = nullptr;
    try {
        pInstanceIF = new CVLExecFunc();
    }
    VL_CATCH_LADDER(VLEXECFUNC_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
    return pInstanceIF;
}

void CVLMDExecFunc::onDelete(IVLModInstanceIF* pInstanceIF)
{
    static const char* const kSignature = "void CVLMDExecFunc::onDelete(IVLModInstanceIF* pInstanceIF)";
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
    try {
        delete pInstanceIF;
    }
    VL_CATCH_LADDER(VLEXECFUNC_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, s_szFile, __LINE__, kSignature);
}
