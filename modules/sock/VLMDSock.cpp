#include "modules/sock/VLMDSock.h"

#include <new>

#include "base/core/VLException.h"
#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLTrace.h"
#include "base/net/VLSocket.h"
#include "modules/sock/VLSock.h"

namespace {
const char* const s_szFile = "VLMDSock";
} // namespace

CVLMDSock::CVLMDSock()
{
    CVLTrace::FunctionIn(VLMDSOCK_MODULE, s_szFile, __LINE__, "CVLMDSock::CVLMDSock()");
    CVLTrace::FunctionOut(VLMDSOCK_MODULE, s_szFile, __LINE__, "CVLMDSock::CVLMDSock()");
}

CVLMDSock::~CVLMDSock()
{
    CVLTrace::FunctionIn(VLMDSOCK_MODULE, s_szFile, __LINE__, "CVLMDSock::~CVLMDSock()");
    CVLTrace::FunctionOut(VLMDSOCK_MODULE, s_szFile, __LINE__, "CVLMDSock::~CVLMDSock()");
}

void CVLMDSock::onInitialize(CVLModuleParamCollection* pParams)
{
    static const char kSignature[] = "void CVLMDSock::onInitialize(CVLModuleParamCollection* pParams)";
    (void)pParams;
    CVLTrace::FunctionIn(VLMDSOCK_MODULE, s_szFile, __LINE__, kSignature);
    try {
        CVLSocket::Startup();
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLMDSOCK_MODULE, s_szFile, __LINE__, kSignature);
}

void CVLMDSock::onTerminate(CVLModuleParamCollection* pParams)
{
    static const char kSignature[] = "void CVLMDSock::onTerminate(CVLModuleParamCollection* pParams)";
    (void)pParams;
    CVLTrace::FunctionIn(VLMDSOCK_MODULE, s_szFile, __LINE__, kSignature);
    try {
        CVLSocket::Cleanup();
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLMDSOCK_MODULE, s_szFile, __LINE__, kSignature);
}

IVLModInstanceIF* CVLMDSock::onNew()
{
    static const char kSignature[] = "IVLModInstanceIF* CVLMDSock::onNew()";
    CVLTrace::FunctionIn(VLMDSOCK_MODULE, s_szFile, __LINE__, kSignature);
    try {
        CVLSock* pSock = new (std::nothrow) CVLSock();
        if (pSock == nullptr)
            throw new EVLMemoryAllocException(VLMDSOCK_MODULE, s_szFile, __LINE__);
        CVLTrace::FunctionOut(VLMDSOCK_MODULE, s_szFile, __LINE__, kSignature);
        return pSock;
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
}

void CVLMDSock::onDelete(IVLModInstanceIF* pInstanceIF)
{
    static const char kSignature[] = "void CVLMDSock::onDelete(IVLModInstanceIF* pInstanceIF)";
    CVLTrace::FunctionIn(VLMDSOCK_MODULE, s_szFile, __LINE__, kSignature);
    try {
        delete pInstanceIF;
    }
    VL_CATCH_LADDER(VLMDSOCK_MODULE, s_szFile)
    CVLTrace::FunctionOut(VLMDSOCK_MODULE, s_szFile, __LINE__, kSignature);
}
