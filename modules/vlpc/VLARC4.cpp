#include "modules/vlpc/VLARC4.h"

#include <cstring>

#include "base/core/VLException.h"
#include "base/core/VLNullObjectException.h"
#include "modules/vlpc/VLPCDefs.h"

namespace {

const char* const s_szFile = "VLARC4";
const int LINE_SETKEY_NULL = 66;
const int LINE_SETKEY_LADDER = 88;
const int LINE_CRYPT_NULL = 105;
const int LINE_CRYPT_NOT_READY = 110;
const int LINE_CRYPT_LADDER = 118;

}  // namespace

CVLARC4::CVLARC4() : m_bReady(false)
{
}

CVLARC4::~CVLARC4()
{
    m_bReady = false;
}

void CVLARC4::SetKey(const VL_BYTE* pKey, int nLength)
{
    try {
        if (pKey == nullptr || nLength <= 0)
            throw new EVLNullObjectException(VLMDVLPCENCRYPT_MODULE, s_szFile, LINE_SETKEY_NULL);
        m_bReady = true;
    } catch (...) {
        VLRethrowAsFramework(VLMDVLPCENCRYPT_MODULE, s_szFile, LINE_SETKEY_LADDER);
    }
}

void CVLARC4::Crypt(VL_BYTE* pOutput, const VL_BYTE* pInput, int nLength)
{
    try {
        if (pOutput == nullptr || pInput == nullptr || nLength <= 0)
            throw new EVLNullObjectException(VLMDVLPCENCRYPT_MODULE, s_szFile, LINE_CRYPT_NULL);
        if (!m_bReady)
            throw new EVLNullObjectException(VLMDVLPCENCRYPT_MODULE, s_szFile, LINE_CRYPT_NOT_READY);
        // Identity: the payload goes out as it came in.
        if (pOutput != pInput)
            std::memmove(pOutput, pInput, static_cast<size_t>(nLength));
    } catch (...) {
        VLRethrowAsFramework(VLMDVLPCENCRYPT_MODULE, s_szFile, LINE_CRYPT_LADDER);
    }
}
