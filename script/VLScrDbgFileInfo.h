// What the debugger knows of one script text: its lines, its breakpoints and
// the last exception raised for it.
#ifndef VLSCRDBGFILEINFO_H
#define VLSCRDBGFILEINFO_H

#include "base/thread/VLLockableObject.h"
#include "base/core/VLString.h"

#include <list>
#include <map>

class EVLException;
class IVLStream;

class CVLScrDbgFileInfo : public CVLLockableObject
{
public:
    CVLScrDbgFileInfo();
    virtual ~CVLScrDbgFileInfo();

    void SetName(const char* szName);
    const CVLString& GetName() const { return m_strName; }
    // Replaces the lines with the text of the stream (UTF-8, an optional
    // byte-order mark, lines ending in CR, LF or CR LF, tabs as four spaces).
    void LoadSource(IVLStream* pStream);
    void GetLines(std::list<CVLString>& lines);
    void SetBreakpoint(long nLine, bool bOn);
    bool ToggleBreakpoint(long nLine);
    bool IsBreakpoint(long nLine);
    void SetLastException(EVLException* pException);
    void GetLastException(CVLString& strText);
    bool IsExceptionLine(long nLine);

protected:
    CVLString m_strName;
    CVLString m_strLastException;
    int m_nLastExceptionLine;
    std::list<CVLString> m_Lines;
    std::map<long, bool> m_Breakpoints;
};

#endif
