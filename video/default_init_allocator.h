#pragma once
// An allocator whose value-less construction leaves bytes uninitialised, so that growing a
// frame buffer that is overwritten anyway costs no fill (std::vector::resize otherwise zeroes
// every new byte, and touches every page of a fresh block).

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

    TDefaultInitAllocator() = default;
    template <typename U>
    TDefaultInitAllocator(const TDefaultInitAllocator<U>&) noexcept {}

    template <typename U>
    void construct(U* place) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};
