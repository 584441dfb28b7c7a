#pragma once

// Whether this build runs under AddressSanitizer (TTT_HAVE_ASAN), and the sanitizer
// runtime's allocator entry points the tests and benches use. GCC ships no header for
// them, so they are declared here.

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define TTT_HAVE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TTT_HAVE_ASAN 1
#endif
#endif

#ifdef TTT_HAVE_ASAN
extern "C" {
// Calls the hooks on every allocation and free; 0 when they could not be installed.
int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void *, size_t),
                                              void (*freeHook)(const volatile void *));
// Bytes allocated and not yet freed (the quarantine does not count).
size_t __sanitizer_get_current_allocated_bytes();
}
#endif
