// The built-in option table (87 keys): what every lookup of an option ends
// with when neither a call's own map nor the options in force have the key.
// Built once per process, on first use.
#ifndef VLECMDEFAULTOPTIONS_H
#define VLECMDEFAULTOPTIONS_H

#include "base/core/VLString.h"
#include "ecm/core/VLECMDefs.h"

class CVLECMDefaultOptions
{
public:
    static void Build();
    static const CVLECMPropertyMap& Table();
    // The key's built-in value, or an empty text.
    static CVLString String(VL_CONST_STR szKey);
};

#endif
