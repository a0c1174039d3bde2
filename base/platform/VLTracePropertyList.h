// A small reader for the tracer's settings file, an XML property list:
//   <dict><key>TRACE_FLAG</key><true/><key>FUNC_TYPE_FILTER</key><string>26</string></dict>
// A file that cannot be read gives a list without entries.
#ifndef VLTRACEPROPERTYLIST_H
#define VLTRACEPROPERTYLIST_H

#include <string>

struct VLTracePropertyList
{
    bool bHasFlag = false;
    bool bFlag = false;
    bool bHasFilter = false;
    std::string strFilter;
};

VLTracePropertyList VLReadTracePropertyList(const char* szPath);
VLTracePropertyList VLParseTracePropertyList(const std::string& strText);

#endif
