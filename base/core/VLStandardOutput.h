// Standard output of the project's programs, written and checked one way:
// every write is flushed and checked, the first failure's reason is kept,
// and a program says it once on standard error
// ("PROGRAM: standard output could not be written: REASON") with status 1.
// A standard descriptor that is closed when the program starts is taken
// first, so that no file or socket the program opens gets its number;
// standard output then fails every write as a closed one would.
#ifndef VLSTANDARDOUTPUT_H
#define VLSTANDARDOUTPUT_H

#include <cstddef>
#include <string>

class CVLStandardOutput
{
public:
    // Takes the numbers of closed standard descriptors (on /dev/null; for
    // standard output, opened for reading, so that a write fails with
    // "Bad file descriptor"). False when one could not be taken.
    static bool TakeClosedDescriptors();
    // Whether standard output was closed when TakeClosedDescriptors ran.
    static bool WasClosed();

    // Writes the bytes on standard output and flushes them; false when they
    // could not all be written, now or by an earlier write.
    static bool Write(const void* pData, size_t nSize);
    static bool Write(const std::string& strText);
    // Flushes what the C library holds for standard output; as Write.
    static bool Flush();
    // The error number of the first write that failed; 0 while none has.
    static int GetError();

    // Says the failure on standard error, once however often it is called:
    // "PROGRAM: standard output could not be written: REASON"; returns 1,
    // the project's failure status.
    static int Fail(const char* szProgram);
    // The end of a program's work: flushes standard output and returns
    // nStatus; when a write failed, says so as Fail does and returns 1 in
    // place of a success.
    static int Finish(const char* szProgram, int nStatus);
};

#endif
