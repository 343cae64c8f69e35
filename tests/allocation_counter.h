#pragma once

namespace tolvi::test {

// Allocations through operator new so far in this program (allocation_counter.cpp replaces the
// global operator new of the test programs that link it), so that a test can show that a
// calculation allocates nothing.
long allocationCount();

}  // namespace tolvi::test
