// Built into every test program: without the run's folder (TMPDIR), the
// program makes its own folder as it starts, so that the processes its tests
// fork (a test body run in a namespace, which ends with _exit, running no
// exit handler) share it, and the program removes it when it exits.
#include "tests/support/TempFolder.h"

namespace {
const std::string s_strFolderAtStart = TestTempFolder();
}  // namespace
