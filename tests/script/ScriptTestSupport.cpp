// The trace capture of the base library's tests, shared with these tests.
#include "base/TestSupport.cpp"
