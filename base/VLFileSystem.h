// The base library's file and folder functions. Paths are UTF-8 C strings
// with "/" as the only separator; none of these functions throws.
#ifndef VLFILESYSTEM_H
#define VLFILESYSTEM_H

#include "VLString.h"

// Kind 0: a file that is not a folder; 1: a folder; any other kind: either.
bool VLFileExists(const char* szPath, int nKind);
// The folder of the running executable, without a trailing "/"; empty on failure.
CVLString VLGetExecutablePath();
// The folder, then "/" unless the folder is empty or ends in "/", then the name.
CVLString VLCombinePath(const char* szFolder, const char* szName);

#endif
