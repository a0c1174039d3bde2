// Facts about the running process: its name and the current time.
#ifndef VLPROCESSINFO_H
#define VLPROCESSINFO_H

#include "VLDateTime.h"
#include "VLString.h"

// The running program's name (UTF-8); empty when it cannot be found.
CVLString VLGetProcessName();
// The current local time, with milliseconds.
CVLDateTime VLGetCurrentDateTime();

#endif
