// SPDX-License-Identifier: MIT
// Preloaded into a program under test, makes every large allocation fail as on a machine out of
// memory; small ones, such as the C library's own, still succeed.

#include <cerrno>
#include <cstddef>

extern "C" void *__libc_malloc(std::size_t size);

static constexpr std::size_t smallest_failing_size = 64 * 1024;

extern "C" void *
malloc(std::size_t size)
{
    if (size >= smallest_failing_size) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_malloc(size);
}
