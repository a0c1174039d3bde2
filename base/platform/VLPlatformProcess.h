// Process services of the platform: opening a URL with the desktop's
// handler and the running program's name.
#ifndef VLPLATFORMPROCESS_H
#define VLPLATFORMPROCESS_H

#include <cstddef>
#include <string>

// Starts "xdg-open" (looked up on PATH, no shell) with the URL as its one
// argument and waits for it. True when it started and exited with status 0;
// otherwise strFailure says why ("no xdg-open on the PATH", "xdg-open
// exited with status 3").
bool VLPlatformOpenURL(const char* szURL, std::string& strFailure);
// The name of the running program from /proc/self/comm, without the line
// end; empty on failure.
std::string VLPlatformProcessName();

// The kernel's id of the calling thread.
long VLPlatformThreadId();

// Fills the buffer from the kernel's random source. False when the source
// cannot give all of it (the caller falls back on its own generator).
bool VLPlatformRandomBytes(void* pBuffer, size_t nSize);

#endif
