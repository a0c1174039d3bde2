// The folders the platform knows: the running executable's and the user's
// preferences folder. Empty texts on failure.
#ifndef VLPLATFORMPATHS_H
#define VLPLATFORMPATHS_H

#include <string>

// The folder that holds the running executable, without a trailing "/".
std::string VLPlatformExecutableFolder();

#endif
