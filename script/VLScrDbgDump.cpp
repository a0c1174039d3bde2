#include "script/VLScrDbg.h"
#include "base/value/VLVariant.h"

CVLString VLScrDbgDumpVariables(const VLScrDbgVariableTable* pTable)
{
    CVLString strText(VL_CHARSET_UTF8);
    if (pTable == nullptr)
        return strText;
    for (const auto& entry : *pTable) {
        strText += entry.first;
        strText += "=";
        strText += entry.second.Dump();
        strText += "\n";
    }
    return strText;
}
