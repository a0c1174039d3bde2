#include "script/VLScrDbgFileInfo.h"
#include "script/VLScriptCompileException.h"
#include "script/VLScriptException.h"
#include "base/core/VLStream.h"
#include "base/core/VLThreadLock.h"

#include <string>
#include <vector>

namespace {

// The script line that an exception carries, chosen by its class.
int ExceptionLine(EVLException* pException)
{
    CVLString strClass = pException->GetClassName();
    if (strClass == "EVLScriptException") {
        EVLScriptException* e = dynamic_cast<EVLScriptException*>(pException);
        return e != nullptr ? e->GetScriptLine() : 0;
    }
    if (strClass == "EVLScriptCompileException") {
        EVLScriptCompileException* e = dynamic_cast<EVLScriptCompileException*>(pException);
        return e != nullptr ? e->GetScriptLine() : 0;
    }
    return 0;
}

}  // namespace

CVLScrDbgFileInfo::CVLScrDbgFileInfo() : m_nLastExceptionLine(0)
{
}

CVLScrDbgFileInfo::~CVLScrDbgFileInfo()
{
}

void CVLScrDbgFileInfo::SetName(const char* szName)
{
    m_strName = CVLString(szName != nullptr ? szName : "", VL_CHARSET_UTF8);
}

void CVLScrDbgFileInfo::LoadSource(IVLStream* pStream)
{
    CVLThreadLock guard(&m_ThreadSync);
    if (!guard.Lock())
        return;
    m_Lines.clear();
    if (pStream == nullptr)
        return;
    std::string text;
    bool bOpened = false;
    if (!pStream->IsOpen()) {
        pStream->Open(VL_OPEN_READ);
        bOpened = true;
    }
    try {
        pStream->Seek(0);
        std::vector<VL_BYTE> buffer(4096);
        for (;;) {
            VL_SIZE_T n = pStream->Read(buffer.data(), static_cast<VL_SIZE_T>(buffer.size()));
            if (n == 0)
                break;
            if (n > buffer.size())
                n = static_cast<VL_SIZE_T>(buffer.size());
            text.append(reinterpret_cast<const char*>(buffer.data()), n);
        }
    } catch (...) {
        if (bOpened)
            pStream->Close();
        throw;
    }
    if (bOpened)
        pStream->Close();
    size_t nPos = 0;
    if (text.size() >= 3 && static_cast<VL_BYTE>(text[0]) == 0xEF && static_cast<VL_BYTE>(text[1]) == 0xBB &&
        static_cast<VL_BYTE>(text[2]) == 0xBF)
        nPos = 3;
    std::string line;
    auto appendLine = [this](const std::string& s) {
        m_Lines.push_back(CVLString(s.data(), static_cast<int>(s.size()), VL_CHARSET_UTF8));
    };
    for (size_t i = nPos; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            appendLine(line);
            line.clear();
        } else if (c == '\t') {
            line += "    ";
        } else {
            line += c;
        }
    }
    appendLine(line);
}

void CVLScrDbgFileInfo::GetLines(std::list<CVLString>& lines)
{
    CVLThreadLock guard(&m_ThreadSync);
    if (guard.Lock())
        lines = m_Lines;
}

void CVLScrDbgFileInfo::SetBreakpoint(long nLine, bool bOn)
{
    CVLThreadLock guard(&m_ThreadSync);
    if (!guard.Lock())
        return;
    if (bOn)
        m_Breakpoints[nLine] = true;
    else
        m_Breakpoints.erase(nLine);
}

bool CVLScrDbgFileInfo::ToggleBreakpoint(long nLine)
{
    CVLThreadLock guard(&m_ThreadSync);
    if (!guard.Lock())
        return false;
    auto it = m_Breakpoints.find(nLine);
    if (it != m_Breakpoints.end()) {
        m_Breakpoints.erase(it);
        return false;
    }
    m_Breakpoints[nLine] = true;
    return true;
}

bool CVLScrDbgFileInfo::IsBreakpoint(long nLine)
{
    CVLThreadLock guard(&m_ThreadSync);
    if (!guard.Lock())
        return false;
    return m_Breakpoints.find(nLine) != m_Breakpoints.end();
}

void CVLScrDbgFileInfo::SetLastException(EVLException* pException)
{
    if (pException == nullptr)
        return;
    CVLThreadLock guard(&m_ThreadSync);
    if (!guard.Lock())
        return;
    m_strLastException = pException->ToString().ConvertTo(VL_CHARSET_UTF8, true);
    m_nLastExceptionLine = ExceptionLine(pException);
}

void CVLScrDbgFileInfo::GetLastException(CVLString& strText)
{
    CVLThreadLock guard(&m_ThreadSync);
    if (guard.Lock())
        strText = m_strLastException;
}

bool CVLScrDbgFileInfo::IsExceptionLine(long nLine)
{
    CVLThreadLock guard(&m_ThreadSync);
    if (!guard.Lock())
        return false;
    return m_strLastException.GetLength() != 0 && m_nLastExceptionLine == nLine;
}
