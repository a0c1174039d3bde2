// Facts about the running process: its id, its name and the current time.
#ifndef VLPROCESSINFO_H
#define VLPROCESSINFO_H

#include "base/value/VLDateTime.h"
#include "base/core/VLString.h"

class CVLVariant;

// The process id; also stored (as a long) in the variant when one is given.
VL_LONG VLGetProcessId(CVLVariant* pVariant);
// The running program's name (UTF-8); empty when it cannot be found.
CVLString VLGetProcessName();
// The current local time, with milliseconds.
CVLDateTime VLGetCurrentDateTime();

#endif
