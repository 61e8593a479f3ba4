// The dynamic array that holds a drawing's records of one kind.
//
// A drawing of millions of entities is read without knowing how many of
// each kind it holds, so its arrays grow as they are read. A std::vector
// grows by moving every record into a block twice as large, and for that
// moment holds both: the peak memory of a load was the drawing plus its
// largest array again, and every record was written twice. Here the array
// is a row of blocks of 1, 2, 4, 8, ... records: a record is written once,
// where it stays, and growing only adds a block. Indexing stays a shift and
// a subtraction: record i is in block bit_width(i + 1) - 1.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/platform.h"

// The allocator of a vector that may hold a record per entity: its
// largest buffers come from platform::AllocateLarge.
template <typename T>
struct LargeAllocator {
  using value_type = T;
  LargeAllocator() = default;
  template <typename U>
  LargeAllocator(const LargeAllocator<U>&) noexcept {}  // NOLINT: as std::allocator
  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    if (n * sizeof(T) >= platform::kLargeBlock)
      return static_cast<T*>(platform::AllocateLarge(n * sizeof(T)));
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n * sizeof(T) >= platform::kLargeBlock)
      platform::FreeLarge(p, n * sizeof(T));
    else
      std::allocator<T>().deallocate(p, n);
  }
  friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

template <typename T>
class RecordArray {
 public:
  RecordArray() = default;
  RecordArray(std::initializer_list<T> records) {
    for (const T& r : records) push_back(r);
  }
  RecordArray(const RecordArray& other) {
    for (const T& r : other) push_back(r);
  }
  RecordArray(RecordArray&& other) noexcept
      : blocks_(std::exchange(other.blocks_, {})),
        size_(std::exchange(other.size_, 0)),
        expected_(std::exchange(other.expected_, 0)) {}
  RecordArray& operator=(const RecordArray& other) {
    if (this != &other) {
      RecordArray copy(other);
      swap(copy);
    }
    return *this;
  }
  RecordArray& operator=(RecordArray&& other) noexcept {
    if (this != &other) {
      RecordArray gone(std::move(other));
      swap(gone);
    }
    return *this;
  }
  ~RecordArray() { release(); }

  void swap(RecordArray& other) noexcept {
    blocks_.swap(other.blocks_);
    std::swap(size_, other.size_);
    std::swap(expected_, other.expected_);
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Records the blocks already allocated can hold.
  std::size_t capacity() const { return (std::size_t{1} << blocks_.size()) - 1; }

  T& operator[](std::size_t i) { return *slot(i); }
  const T& operator[](std::size_t i) const { return *slot(i); }
  T& at(std::size_t i) {
    if (i >= size_) throw std::out_of_range("RecordArray::at");
    return *slot(i);
  }
  const T& at(std::size_t i) const {
    if (i >= size_) throw std::out_of_range("RecordArray::at");
    return *slot(i);
  }
  T& back() { return *slot(size_ - 1); }
  const T& back() const { return *slot(size_ - 1); }

  template <typename... Args>
  T& emplace_back(Args&&... args) {
    if (size_ == capacity()) grow();
    T* p = ::new (static_cast<void*>(slot(size_))) T(std::forward<Args>(args)...);
    ++size_;
    return *p;
  }
  void push_back(const T& r) { emplace_back(r); }
  void push_back(T&& r) { emplace_back(std::move(r)); }
  void pop_back() {
    --size_;
    slot(size_)->~T();
  }
  // How many records the array is expected to hold in the end, once known
  // roughly: a large block then takes huge pages only as far as that,
  // rather than holding a last huge page it will never fill.
  void Expect(std::size_t records) { expected_ = records; }
  // Empties the array and gives its memory back.
  void clear() { release(); }

  template <bool Const>
  class Iter {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = std::conditional_t<Const, const T*, T*>;
    using reference = std::conditional_t<Const, const T&, T&>;
    using Array = std::conditional_t<Const, const RecordArray, RecordArray>;

    Iter() = default;
    Iter(Array* a, std::size_t i) : a_(a), i_(i) {}
    operator Iter<true>() const requires(!Const) { return Iter<true>(a_, i_); }  // NOLINT

    reference operator*() const { return (*a_)[i_]; }
    pointer operator->() const { return &(*a_)[i_]; }
    reference operator[](difference_type n) const { return (*a_)[i_ + n]; }
    Iter& operator++() { return ++i_, *this; }
    Iter operator++(int) { return Iter(a_, i_++); }
    Iter& operator--() { return --i_, *this; }
    Iter operator--(int) { return Iter(a_, i_--); }
    Iter& operator+=(difference_type n) { return i_ += n, *this; }
    Iter& operator-=(difference_type n) { return i_ -= n, *this; }
    friend Iter operator+(Iter it, difference_type n) { return it += n; }
    friend Iter operator+(difference_type n, Iter it) { return it += n; }
    friend Iter operator-(Iter it, difference_type n) { return it -= n; }
    friend difference_type operator-(const Iter& a, const Iter& b) {
      return static_cast<difference_type>(a.i_) - static_cast<difference_type>(b.i_);
    }
    friend bool operator==(const Iter& a, const Iter& b) { return a.i_ == b.i_; }
    friend auto operator<=>(const Iter& a, const Iter& b) { return a.i_ <=> b.i_; }

   private:
    Array* a_ = nullptr;
    std::size_t i_ = 0;
  };
  using iterator = Iter<false>;
  using const_iterator = Iter<true>;
  iterator begin() { return iterator(this, 0); }
  iterator end() { return iterator(this, size_); }
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, size_); }

  friend bool operator==(const RecordArray& a, const RecordArray& b) {
    if (a.size_ != b.size_) return false;
    for (std::size_t i = 0; i < a.size_; ++i)
      if (!(a[i] == b[i])) return false;
    return true;
  }

 private:
  // Blocks that can hold a huge page. The block an array is still filling
  // would end in a huge page partly used, up to 2 MiB held for nothing in
  // each array: where the array knows how far it will grow (Expect), the
  // block asks for huge pages only that far.
  static constexpr std::size_t kHugeBlock = platform::kLargeBlock;
  T* slot(std::size_t i) const {
    const std::size_t n = i + 1;
    const std::size_t block = static_cast<std::size_t>(std::bit_width(n)) - 1;
    return blocks_[block] + (n - (std::size_t{1} << block));
  }
  void grow() {
    const std::size_t count = std::size_t{1} << blocks_.size();
    // Room for the pointers of the first 255 records at once: a block
    // definition's short lists then cost one allocation per block only. The
    // push below then cannot throw.
    blocks_.reserve(std::max<std::size_t>(8, blocks_.size() + 1));
    const std::size_t first = count - 1;  // the block's first record
    std::size_t huge = SIZE_MAX;
    if (expected_ > 0)
      huge = expected_ <= first                         ? 0
             : expected_ - first > SIZE_MAX / sizeof(T) ? SIZE_MAX
                                                        : (expected_ - first) * sizeof(T);
    blocks_.push_back(static_cast<T*>(AllocateBlock(count * sizeof(T), huge)));
  }
  static void* AllocateBlock(std::size_t bytes, std::size_t huge) {
    if (bytes >= kHugeBlock) return platform::AllocateLarge(bytes, huge);
    return ::operator new (bytes, std::align_val_t{alignof(T)});
  }
  void release() noexcept {
    if constexpr (std::is_trivially_destructible_v<T>)
      size_ = 0;
    else
      while (size_ > 0) pop_back();
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
      const std::size_t bytes = (std::size_t{1} << b) * sizeof(T);
      if (bytes >= kHugeBlock)
        platform::FreeLarge(blocks_[b], bytes);
      else
        ::operator delete (blocks_[b], std::align_val_t{alignof(T)});
    }
    blocks_.clear();
    blocks_.shrink_to_fit();
  }

  std::vector<T*> blocks_;
  std::size_t size_ = 0;
  std::size_t expected_ = 0;  // 0: not known
};
