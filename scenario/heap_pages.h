// The heap of a run in huge pages. Every fresh page a run touches costs a
// fault, dear on a virtual machine (some microseconds each); a run that
// fills some hundred kilobytes or more spends less with its heap in huge
// pages, one fault per 2 MiB.
#pragma once

#include <cstddef>

namespace scenc {

// Lets the heap grow at once by about `bytes` (whole huge pages, at most
// 32 MiB) and asks the system for huge pages there; every thread then
// allocates from this one heap, large blocks too. Call it before the run
// allocates what it fills. True when the heap grows in huge pages; false,
// the allocator left as it was or nearly, where the system offers none or
// the heap is not the C library's (under the sanitizers).
bool heap_in_huge_pages(std::size_t bytes);

}  // namespace scenc
