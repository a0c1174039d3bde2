// The base library's file and folder functions. Paths are UTF-8 C strings
// with "/" as the only separator; none of these functions throws.
#ifndef VLFILESYSTEM_H
#define VLFILESYSTEM_H

#include "base/core/VLString.h"

// Kind 0: a file that is not a folder; 1: a folder; any other kind: either.
bool VLFileExists(const char* szPath, int nKind);
// True when the owner may read but not write the file.
bool VLIsReadOnlyFile(const char* szPath);
// Deletes the file; on failure stores errno through pErrorCode when given.
bool VLRemoveFile(const char* szPath, VL_ULONG* pErrorCode);
// Renames the file at szOldPath to szNewPath.
bool VLRenameFile(const char* szNewPath, const char* szOldPath);
// Creates every folder along the path; true when all of them are folders at
// the end.
bool VLMakeDirectories(const char* szPath);
// Removes an empty folder.
bool VLRemoveDirectory(const char* szPath);
// The folder of the running executable, without a trailing "/"; empty on failure.
CVLString VLGetExecutablePath();
// The "Resources" folder beside the executable's folder.
CVLString VLGetResourcesPath();
// The current user's preferences folder; empty on failure.
CVLString VLGetPreferencesPath();
// The process-wide stored folder text; setting an empty text changes nothing.
CVLString VLGetStoredPath();
void VLSetStoredPath(const char* szPath);
// The folder, then "/" unless the folder is empty or ends in "/", then the name.
CVLString VLCombinePath(const char* szFolder, const char* szName);
// Splits at the last "/" that is not the first character.
void VLSplitPath(const char* szPath, CVLString& strFolder, CVLString& strName);
// Whether the owner may access the file as asked ("R" and/or "W", either
// case). Asking write access for a missing file creates it and its folders.
bool VLCheckFileAccess(const char* szPath, const char* szAccess);
// Free bytes of the volume that holds the path; 0 on failure.
VL_ULONGLONG VLGetFreeDiskSpace(const char* szPath);

#endif
