#pragma once

// MUGROVE_SANITIZED: built with the address sanitizer, whose shadow memory
// and findings the sandbox must make room for.

#if defined(__SANITIZE_ADDRESS__)
#define MUGROVE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MUGROVE_SANITIZED 1
#endif
#endif
