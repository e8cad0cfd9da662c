#pragma once
// Counts every allocation of the executable that includes this header: it replaces the global
// operator new and delete and, outside AddressSanitizer builds (whose runtime owns the C
// allocator), malloc and its relatives, so that memory a C library takes through its own
// allocator is counted too. The work is done by the C library's allocator under its internal
// names. Include it in exactly one source file of an executable.

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace solvane::testing {

/// Allocations since the program started.
inline std::size_t allocations = 0;

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool CountsCAllocations = false;
#else
inline constexpr bool CountsCAllocations = true;
#endif

} // namespace solvane::testing

#if !defined(__SANITIZE_ADDRESS__)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* memory, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* memory);

void* malloc(std::size_t size) {
    ++solvane::testing::allocations;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    ++solvane::testing::allocations;
    return __libc_calloc(count, size);
}
void* realloc(void* memory, std::size_t size) {
    ++solvane::testing::allocations;
    return __libc_realloc(memory, size);
}
void free(void* memory) {
    __libc_free(memory);
}
void* memalign(std::size_t alignment, std::size_t size) {
    ++solvane::testing::allocations;
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    ++solvane::testing::allocations;
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** memory, std::size_t alignment, std::size_t size) {
    ++solvane::testing::allocations;
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* result = __libc_memalign(alignment, size);
    if (result == nullptr)
        return ENOMEM;
    *memory = result;
    return 0;
}
}
#endif

void* operator new(std::size_t size) {
    ++solvane::testing::allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    ++solvane::testing::allocations;
    const auto align = static_cast<std::size_t>(alignment);
    if (void* memory = std::aligned_alloc(align, (size + align - 1) / align * align))
        return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return operator new(size, alignment);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::align_val_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
    std::free(memory);
}
