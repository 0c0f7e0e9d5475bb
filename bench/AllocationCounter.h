#pragma once
// Heap allocations made through operator new in this benchmark binary (the
// replaced global operators of AllocationCounter.cpp count each one). The
// other benchmarks only pay one relaxed atomic increment per allocation.
namespace benchalloc {

unsigned long long allocations();

}  // namespace benchalloc
