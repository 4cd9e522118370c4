#include "cipher/hardening.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace cipher {

void hardenProcess(const char *program)
{
#ifdef VLQ_DUMPS_ON_REQUEST
    if (const char *allow = std::getenv("VLQ_ALLOW_CORE_DUMPS"); allow && std::strcmp(allow, "1") == 0)
        return;
#endif
    // Both limits, so that nothing in the process can raise the soft one again.
    const rlimit none {0, 0};
    const char *failed = nullptr;
    int error = 0;
    if (::setrlimit(RLIMIT_CORE, &none) != 0) {
        failed = "could not turn off core dumps";
        error = errno;
    }
    if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0 && !failed) {
        failed = "could not keep other processes from reading its memory";
        error = errno;
    }
    if (failed)
        std::fprintf(stderr, "%s: %s (%s); secrets could end up in a core file.\n", program,
            failed, std::strerror(error));
}

__attribute__((noinline)) void wipeStack()
{
    // Deeper than Argon2's, the RTF codec's or Qt's layout frames go.
    constexpr std::size_t kDepth = 256 * 1024;
    char area[kDepth];
    ::explicit_bzero(area, sizeof area);
    // Keeps the compiler from dropping or shrinking the frame.
    asm volatile("" : : "r"(area) : "memory");
}

bool freedMemoryIsWiped()
{
#ifdef VLQ_WIPING_FREE
    return true;
#else
    return false;
#endif
}

} // namespace cipher
