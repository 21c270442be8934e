// Counts the allocations of a benchmark program: malloc, calloc and realloc are wrapped
// (glibc's own entry points do the work). Include from exactly one file of a program.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

inline std::atomic<std::uint64_t> gAllocations{0};

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);

void* malloc(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(pointer, size);
}
}
