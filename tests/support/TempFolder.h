// Where the tests, benchmarks and fuzz targets put their temporary files:
// the run's folder, so that what a test stopped at its time limit leaves
// goes when the run removes that folder.
#ifndef TEMPFOLDER_H
#define TEMPFOLDER_H

#include <string>

// The run's folder: $TMPDIR, which tools/test-all.sh sets to its own
// vl-run-PID-XXXXXX for everything it starts; without it a folder made
// with mkdtemp in /tmp for this process, removed when the process exits.
// A test program makes it as it starts (TempFolderAtStart.cpp), so that
// the children it forks use it too.
std::string TestTempFolder();

// A name in that folder, for mkdtemp and mkstemp: CTempPath szDir("vllog_XXXXXX");
// mkdtemp(szDir) fills in the X's, and szDir is then the path made.
class CTempPath : public std::string
{
public:
    explicit CTempPath(const std::string& strName) : std::string(TestTempFolder() + "/" + strName) {}
    operator char*() { return &(*this)[0]; }
};

#endif
