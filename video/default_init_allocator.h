#pragma once
// An allocator whose value-less construction leaves bytes uninitialised, so that growing a
// frame buffer that is overwritten anyway costs no fill (std::vector::resize otherwise zeroes
// every new byte, and touches every page of a fresh block).
//
// Blocks of a frame's size are mapped from the system directly and unmapped when freed: the
// heap would keep a freed frame's pages resident (and malloc's arenas, one per thread, would
// each keep their own), while frames come and go in bursts.

#include <sys/mman.h>

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

template <typename T>
class TDefaultInitAllocator : public std::allocator<T> {
  public:
    template <typename U>
    struct rebind {
        using other = TDefaultInitAllocator<U>;
    };

    // From this size on a block gets pages of its own.
    static constexpr size_t MappedBytes = size_t{256} << 10;

    TDefaultInitAllocator() = default;
    template <typename U>
    TDefaultInitAllocator(const TDefaultInitAllocator<U>&) noexcept {}

    T* allocate(size_t count) {
        if (count * sizeof(T) < MappedBytes) return std::allocator<T>::allocate(count);
        void* block = mmap(nullptr, count * sizeof(T), PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, size_t count) noexcept {
        if (count * sizeof(T) < MappedBytes) {
            std::allocator<T>::deallocate(block, count);
        } else {
            munmap(block, count * sizeof(T));
        }
    }

    template <typename U>
    void construct(U* place) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};
