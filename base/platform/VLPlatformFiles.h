// File-system facts that come from the platform: the user's preferences
// folder, the free space of a volume and the immutable-file flag.
#ifndef VLPLATFORMFILES_H
#define VLPLATFORMFILES_H

#include <cstdint>
#include <string>

// $XDG_CONFIG_HOME, else $HOME/.config (the home folder from the password
// database when HOME is unset), without a trailing "/"; empty on failure.
std::string VLPlatformPreferencesFolder();
// Free bytes of the volume that holds the path; 0 on failure.
uint64_t VLPlatformFreeDiskSpace(const char* szPath);
// True when the file carries the immutable flag; false where the file system
// has no such flag.
bool VLPlatformIsImmutable(const char* szPath);

#endif
