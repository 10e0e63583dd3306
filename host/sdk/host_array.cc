#include "host/sdk/host_array.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace hostsdk::detail {

namespace {

size_t pageSize() {
  static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  return page;
}

size_t roundUp(size_t bytes, size_t to) { return (bytes + to - 1) / to * to; }

// Huge pages only where they fill up: small arrays stay in small pages.
void adviseHuge(void* p, size_t mapped) {
#ifdef MADV_HUGEPAGE
  if (mapped >= kHugePage) ::madvise(p, mapped, MADV_HUGEPAGE);
#else
  (void)p, (void)mapped;
#endif
}

}  // namespace

void* mapZeroed(size_t bytes, size_t& mapped) {
  if (bytes == 0) bytes = 1;
  if (bytes > SIZE_MAX - kHugePage) return nullptr;
  const size_t want = roundUp(bytes, pageSize());
  if (want < kHugePage) {
    void* p = ::mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    mapped = want;
    return p;
  }
  // Aligned to a huge page, so that the whole mapping can use them.
  const size_t len = roundUp(want, kHugePage);
  void* raw = ::mmap(nullptr, len + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                     -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = roundUp(start, kHugePage);
  if (aligned > start) ::munmap(raw, aligned - start);
  const size_t after = start + len + kHugePage - (aligned + len);
  if (after) ::munmap(reinterpret_cast<void*>(aligned + len), after);
  void* p = reinterpret_cast<void*>(aligned);
  adviseHuge(p, len);
  mapped = len;
  return p;
}

void* remapZeroed(void* p, size_t oldMapped, size_t bytes, size_t& mapped) {
  if (bytes == 0) bytes = 1;
  if (bytes > SIZE_MAX - kHugePage) return nullptr;
  size_t want = roundUp(bytes, pageSize());
  if (want >= kHugePage) want = roundUp(want, kHugePage);
  if (want == oldMapped) {
    mapped = oldMapped;
    return p;
  }
  if (want < oldMapped) {
    void* q = ::mremap(p, oldMapped, want, 0);
    if (q == MAP_FAILED) return nullptr;
    mapped = want;
    return q;
  }
  if (want < kHugePage) {
    void* q = ::mremap(p, oldMapped, want, MREMAP_MAYMOVE);
    if (q == MAP_FAILED) return nullptr;
    mapped = want;
    return q;
  }
  // Move the pages (no copy) into a fresh huge-page-aligned range.
  size_t target = 0;
  void* dest = mapZeroed(want, target);
  if (!dest) return nullptr;
  void* q = ::mremap(p, oldMapped, oldMapped, MREMAP_MAYMOVE | MREMAP_FIXED, dest);
  if (q == MAP_FAILED) {
    ::munmap(dest, target);
    return nullptr;
  }
  adviseHuge(q, target);
  mapped = target;
  return q;
}

void unmap(void* p, size_t mapped) { ::munmap(p, mapped); }

bool movePages(void* from, void* to, size_t bytes) {
  return ::mremap(from, bytes, bytes, MREMAP_MAYMOVE | MREMAP_FIXED, to) != MAP_FAILED;
}

void zeroRange(char* from, char* to) {
  if (from >= to) return;
  const size_t page = pageSize();
  char* first = reinterpret_cast<char*>(roundUp(reinterpret_cast<uintptr_t>(from), page));
  char* last = reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(to) / page * page);
  if (first < last) {
    std::memset(from, 0, static_cast<size_t>(first - from));
    ::madvise(first, static_cast<size_t>(last - first), MADV_DONTNEED);
    std::memset(last, 0, static_cast<size_t>(to - last));
  } else {
    std::memset(from, 0, static_cast<size_t>(to - from));
  }
}

}  // namespace hostsdk::detail
