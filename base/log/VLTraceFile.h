// The process-wide trace file: a path set once, and printf-style appends to
// it, serialized between threads and, by a file lock, between processes.
#ifndef VLTRACEFILE_H
#define VLTRACEFILE_H

// Sets the path; an empty or null path, or one whose lock cannot be set up,
// turns tracing to the file off.
void VLSetTraceFile(const char* szPath);
// Appends the formatted text (no line end added) while tracing is on.
void VLTracePrintf(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));

#endif
