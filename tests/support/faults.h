// Failing a system call on demand, in the product's code only. The tests
// link the product's core with its imports of each call faults.cpp lists
// renamed to a stand-in there (tests/CMakeLists.txt), which counts the
// product's calls, fails the chosen one and makes every other for real.
// The tests' own calls import the real functions and are never touched.
#pragma once

#include <winsock2.h>

namespace faults {

// The nth call (1: the next) of `call` that product code makes from now on
// fails with `error`; with `lasting`, so does every call after it. Several
// calls may be armed at once.
void Fail(const char* call, int nth, DWORD error, bool lasting = false);
void Clear();
// How many product calls of `call` are under way at this moment.
int Inside(const char* call);

}  // namespace faults
