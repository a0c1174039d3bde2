#include "modules/execfunc/VLMDExecFunc.h"

#include "modules/execfunc/VLExecFunc.h"
#include "base/core/VLException.h"
#include "base/core/VLTrace.h"

#define VLEXECFUNC_MODULE "VLExecFunc"
#define VLMDEXECFUNC_FILE "VLMDExecFunc"

CVLMDExecFunc::CVLMDExecFunc()
{
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, VLMDEXECFUNC_FILE, __LINE__, "CVLMDExecFunc::CVLMDExecFunc()");
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, VLMDEXECFUNC_FILE, __LINE__, "CVLMDExecFunc::CVLMDExecFunc()");
}

CVLMDExecFunc::~CVLMDExecFunc()
{
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, VLMDEXECFUNC_FILE, __LINE__, "CVLMDExecFunc::~CVLMDExecFunc()");
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, VLMDEXECFUNC_FILE, __LINE__, "CVLMDExecFunc::~CVLMDExecFunc()");
}

IVLModInstanceIF* CVLMDExecFunc::onNew()
{
    static const char* const kSignature = "IVLModInstanceIF* CVLMDExecFunc::onNew()";
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, VLMDEXECFUNC_FILE, __LINE__, kSignature);
    IVLModInstanceIF* pInstanceIF = nullptr;
    try {
        pInstanceIF = new CVLExecFunc();
    }
    VL_CATCH_LADDER(VLEXECFUNC_MODULE, VLMDEXECFUNC_FILE)
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, VLMDEXECFUNC_FILE, __LINE__, kSignature);
    return pInstanceIF;
}

void CVLMDExecFunc::onDelete(IVLModInstanceIF* pInstanceIF)
{
    static const char* const kSignature = "void CVLMDExecFunc::onDelete(IVLModInstanceIF* pInstanceIF)";
    CVLTrace::FunctionIn(VLEXECFUNC_MODULE, VLMDEXECFUNC_FILE, __LINE__, kSignature);
    try {
        delete pInstanceIF;
    }
    VL_CATCH_LADDER(VLEXECFUNC_MODULE, VLMDEXECFUNC_FILE)
    CVLTrace::FunctionOut(VLEXECFUNC_MODULE, VLMDEXECFUNC_FILE, __LINE__, kSignature);
}
