// The storage of the mesh arrays: elements in an anonymous memory mapping.
//
// Growth moves the mapping (mremap) instead of copying it, and new elements
// cost nothing until they are written: the kernel hands out zeroed pages on
// first touch. Every byte past size() inside the mapping is kept zero, so
// growing yields value-initialised (all-zero) elements without a pass over
// them. Large mappings ask for transparent huge pages, which cuts the page
// faults of filling a mesh of hundreds of megabytes by a factor of 512.
#pragma once

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

#include "host/sdk/types.h"

namespace hostsdk {

namespace detail {
// Mapping of at least `bytes` (page-rounded, zeroed); nullptr when refused.
HOSTSDK_API void* mapZeroed(size_t bytes, size_t& mapped);
// Resizes a mapping, moving it if need be; nullptr (old one intact) when refused.
HOSTSDK_API void* remapZeroed(void* p, size_t oldMapped, size_t bytes, size_t& mapped);
HOSTSDK_API void unmap(void* p, size_t mapped);
// Zeroes [from, to) of a mapping; whole pages are handed back rather than written.
HOSTSDK_API void zeroRange(char* from, char* to);
// Moves the pages of [from, from + bytes) to `to`, both page-aligned, replacing
// what was there and leaving `from` unmapped; false (nothing moved) when refused.
HOSTSDK_API bool movePages(void* from, void* to, size_t bytes);
// The huge page size the mappings are aligned to once they reach it.
constexpr size_t kHugePage = size_t(2) << 20;
}  // namespace detail

template <typename T>
class HostArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                "mapped storage holds plain data only");

 public:
  HostArray() = default;
  HostArray(std::initializer_list<T> items) {
    if (!assign(items.begin(), items.size())) throw std::bad_alloc();
  }
  HostArray(const HostArray& o) {
    if (!assign(o.data_, o.size_)) throw std::bad_alloc();
  }
  HostArray(HostArray&& o) noexcept { swap(o); }
  HostArray& operator=(const HostArray& o) {
    if (this != &o) {
      HostArray copy(o);
      swap(copy);
    }
    return *this;
  }
  HostArray& operator=(HostArray&& o) noexcept {
    HostArray gone(std::move(o));
    swap(gone);
    return *this;
  }
  ~HostArray() { release(); }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t capacity() const { return mapped_ / sizeof(T); }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

  void swap(HostArray& o) noexcept {
    std::swap(data_, o.data_);
    std::swap(size_, o.size_);
    std::swap(mapped_, o.mapped_);
  }

  void push_back(const T& v) {
    if (size_ == capacity() && !reserve(size_ < 64 ? 64 : size_ * 2)) throw std::bad_alloc();
    data_[size_++] = v;
  }

  // Room for `count` elements; false (unchanged) when the memory cannot be had.
  bool reserve(size_t count) {
    if (count <= capacity()) return true;
    if (count > static_cast<size_t>(-1) / sizeof(T)) return false;
    size_t mapped = 0;
    void* p = data_ ? detail::remapZeroed(data_, mapped_, count * sizeof(T), mapped)
                    : detail::mapZeroed(count * sizeof(T), mapped);
    if (!p) return false;
    data_ = static_cast<T*>(p);
    mapped_ = mapped;
    return true;
  }

  // New elements are all-zero; false (unchanged) when the memory cannot be had.
  // The mapping shrinks to fit when more than half of it would stay unused.
  bool resize(size_t count) {
    if (count > size_) {
      if (!reserve(count)) return false;
    } else if (count < size_) {
      char* base = reinterpret_cast<char*>(data_);
      if (capacity() > count * 2 + 16) {
        size_t mapped = 0;
        if (count == 0) {
          release();
          return true;
        }
        void* p = detail::remapZeroed(data_, mapped_, count * sizeof(T), mapped);
        if (p) {
          data_ = static_cast<T*>(p);
          base = static_cast<char*>(p);
          mapped_ = mapped;
        }
      }
      const size_t end = size_ * sizeof(T) < mapped_ ? size_ * sizeof(T) : mapped_;
      detail::zeroRange(base + count * sizeof(T), base + end);
    }
    size_ = count;
    return true;
  }

  // The mapping handed over, without a copy, as `count` elements of another
  // plain type; the caller has left every byte past count * sizeof(U) zero.
  template <typename U>
  HostArray<U> takeAs(size_t count) && {
    static_assert(alignof(U) <= alignof(std::max_align_t), "mappings are page-aligned");
    HostArray<U> out;
    if (count > mapped_ / sizeof(U)) throw std::bad_alloc();
    out.data_ = reinterpret_cast<U*>(data_);
    out.size_ = count;
    out.mapped_ = mapped_;
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
    return out;
  }

  // Drops every element and the mapping.
  void release() {
    if (data_) detail::unmap(data_, mapped_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
  }

 private:
  template <typename>
  friend class HostArray;

  bool assign(const T* items, size_t count) {
    if (!reserve(count)) return false;
    if (count) std::memcpy(static_cast<void*>(data_), items, count * sizeof(T));
    size_ = count;
    return true;
  }

  T* data_ = nullptr;
  size_t size_ = 0;
  size_t mapped_ = 0;  // bytes
};

}  // namespace hostsdk
