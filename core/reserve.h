// Memory set aside for running out of it.
//
// When an allocation fails, everything the interpreter built is still held while it leaves
// the run or the parse that failed, and freeing a syntax tree or writing a message needs a
// little room of its own.  A megabyte is kept aside for that: taken before every parse and
// every run, and given back to the allocator first thing when std::bad_alloc arrives.  It is
// allocated on its own (a block of that size is mapped apart from the heap), so giving it back
// returns address space the next allocations can use.
#pragma once

namespace ruvo {

// Takes the reserve when it is not held (quietly does without when even that fails).
void keep_memory_reserve();
// Gives the reserve back; nothing when it is not held.
void spend_memory_reserve();
bool memory_reserve_held();

} // namespace ruvo
