// free() and realloc() for the whole process, on top of glibc's own: what a
// block held is overwritten before the allocator takes it back. Qt, the C++
// runtime and every library hand their buffers back through these, so text
// and passwords do not linger in freed memory, where no explicit wipe of
// ours can reach (a QString's old buffer after it grew, a layout's copy of a
// paragraph, a library's temporary). glibc's M_PERTURB would not do: it
// skips the chunks that go to the per-thread cache.
//
// Defined in the executable, these take the place of glibc's for every
// library (symbol interposition); glibc's own internal calls go through
// them too. Tools that replace the allocator themselves (valgrind, heap
// profilers) must be told the program has one: valgrind
// --soname-synonyms=somalloc=NONE.

#include <cerrno>
#include <cstring>
#include <malloc.h>

namespace {

// A large block (128 KiB or more by default) has pages of its own, which
// glibc gives back to the kernel on free; the kernel zeroes them before any
// process gets them again and no dump of ours can see them then. Wiping
// them would only fault in pages never used: a read buffer of 16 MiB would
// cost 4,000 page faults. glibc marks such a block in the size word before
// it (IS_MMAPPED, as malloc_usable_size reads it).
bool hasOwnPages(void *block)
{
    return (static_cast<const std::size_t *>(block)[-1] & 0x2) != 0;
}

} // namespace

extern "C" {
void *__libc_malloc(std::size_t size);
void __libc_free(void *block);
void *__libc_realloc(void *block, std::size_t size);

void free(void *block) noexcept
{
    if (block && !hasOwnPages(block))
        ::explicit_bzero(block, ::malloc_usable_size(block));
    __libc_free(block);
}

void *realloc(void *block, std::size_t size) noexcept
{
    if (!block)
        return __libc_malloc(size);
    if (size == 0) {
        free(block);
        return nullptr;
    }
    const std::size_t usable = ::malloc_usable_size(block);
    if (size <= usable) {
        // A block that shrinks in place gives its tail back as free memory.
        if (!hasOwnPages(block))
            ::explicit_bzero(static_cast<char *>(block) + size, usable - size);
        return __libc_realloc(block, size);
    }
    // One that grows could move, and glibc would free the old place as it
    // was: the move is done here.
    void *moved = __libc_malloc(size);
    if (!moved)
        return nullptr;
    std::memcpy(moved, block, usable);
    free(block);
    return moved;
}

void *reallocarray(void *block, std::size_t count, std::size_t size) noexcept
{
    std::size_t bytes;
    if (__builtin_mul_overflow(count, size, &bytes)) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(block, bytes);
}
} // extern "C"
