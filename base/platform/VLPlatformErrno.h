// Error numbers as the system stores them. Definitions and scripts compare
// error codes with BSD error numbers (EHOSTUNREACH is 65, ECONNREFUSED 61),
// so every error number that is stored in an exception or compared later
// passes through this one table.
#ifndef VLPLATFORMERRNO_H
#define VLPLATFORMERRNO_H

// The stored number for a Linux errno value. Apart from EAGAIN (11 here, 35
// there) and EDEADLK (35 here, 11 there), numbers 0 to 34 are the same on both
// numberings; a Linux number without an equivalent is returned unchanged.
int VLPlatformErrorCode(int nErrno);

// The stored number for the current errno.
int VLPlatformLastError();

// The Linux errno value of a stored number (the reverse of
// VLPlatformErrorCode).
int VLPlatformErrnoOf(int nStored);

#endif
