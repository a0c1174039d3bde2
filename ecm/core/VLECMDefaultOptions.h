// The built-in option table (87 keys): what every lookup of an option ends
// with when neither a call's own map nor the options in force have the key,
// and what each key's value must read as. Built once per process, on first
// use.
#ifndef VLECMDEFAULTOPTIONS_H
#define VLECMDEFAULTOPTIONS_H

#include <string>
#include <string_view>
#include <vector>

#include "base/core/VLString.h"
#include "ecm/core/VLECMDefs.h"

class CVLECMDefaultOptions
{
public:
    static void Build();
    static const CVLECMPropertyMap& Table();
    // The key's built-in value, or an empty text.
    static CVLString String(VL_CONST_STR szKey);
    // Whether the table has the key.
    static bool IsKnown(const std::string& strKey);
    // Whether the table has the key, in bKnown, and in the same lookup
    // false for a value that does not read as what the key takes (a whole
    // number within its range, an optional sign then digits, or nothing,
    // which reads as 0; for a flag true, false, a whole number or nothing),
    // with what it takes in strWanted; true for a text option and a key the
    // table does not have.
    static bool Judge(std::string_view strKey, const char* szValue, bool& bKnown, std::string& strWanted);
    // The same for a flag the table does not have (an entry's).
    static bool CheckFlag(const std::string& strValue, std::string& strWanted);
    // The key of the table, or of others, that is nearest to strKey (letter
    // case aside), when it is near enough to be what was meant; empty
    // otherwise.
    static std::string Nearest(const std::string& strKey, const std::vector<std::string>& others);
};

#endif
