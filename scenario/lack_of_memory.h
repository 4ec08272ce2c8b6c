// Running out of memory ends a program with status 3 and one line, never
// with an abort. Throwing std::bad_alloc takes a little memory of its own;
// where not even that is left, the C++ runtime would abort instead. So a
// little is kept aside before anything else runs and given back at the
// first failure, which then throws as usual.
#pragma once

namespace scenc {

// The line a program ends with when memory runs out, newline included.
// Each program that calls throw_on_lack_of_memory() defines it.
extern const char kOutOfMemoryLine[];

// Until a program calls this, a failure (in the initialisers that run
// before main) writes kOutOfMemoryLine and ends the program with status 3
// at once: nothing could catch what it threw. From here on, the first
// failure gives the memory back and throws std::bad_alloc, and later ones
// throw as usual. False when not even the memory kept aside could be had:
// the program must end at once, as out of memory.
bool throw_on_lack_of_memory();

}  // namespace scenc
