// The floating-point state the library computes in, whatever state the host leaves.
//
// A host may leave the x87 unit at 24-, 53- or 64-bit precision and any rounding mode, and the
// SSE unit in any rounding mode or with flush-to-zero and denormals-are-zero on (hosts built
// with some Fortran and C compilers do). The library's single- and double-precision arithmetic
// runs in SSE registers, where the rounding mode and the denormal flags change results; the C
// library's sine and cosine may run on the x87 unit, where the precision does. Every entry
// point therefore saves both control words, sets the state the library was built and checked
// in (round to nearest, denormals kept, all exceptions masked; the x87 unit at the platform's
// start-up precision) and restores the host's words on return.
#pragma once

#include <cstdint>

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace svg {

#if defined(__i386__) || defined(__x86_64__)
// All exceptions masked, round to nearest, no flush-to-zero, no denormals-are-zero.
inline constexpr unsigned kLibraryMxcsr = 0x1F80u;
// All exceptions masked, round to nearest; 53-bit precision on Windows and 64-bit elsewhere,
// the precision each platform starts a process with.
#if defined(_WIN32)
inline constexpr std::uint16_t kLibraryX87Control = 0x027F;
#else
inline constexpr std::uint16_t kLibraryX87Control = 0x037F;
#endif

class FloatingPointScope {
  public:
    FloatingPointScope() noexcept : mxcsr_(_mm_getcsr()) {
        __asm__ volatile("fnstenv %0" : "=m"(x87_));
        _mm_setcsr(kLibraryMxcsr);
        const std::uint16_t control = kLibraryX87Control;
        __asm__ volatile("fldcw %0" : : "m"(control));
    }
    // Flags raised while the library ran are the library's, not the host's: the host's
    // environment and words come back exactly as they were.
    ~FloatingPointScope() {
        __asm__ volatile("fldenv %0" : : "m"(x87_));
        _mm_setcsr(mxcsr_);
    }
    FloatingPointScope(const FloatingPointScope&) = delete;
    FloatingPointScope& operator=(const FloatingPointScope&) = delete;

  private:
    struct X87Environment {
        std::uint32_t words[7];  // control, status, tag, instruction and operand pointers
    };
    unsigned mxcsr_;
    X87Environment x87_{};
};
#else
// Other processors: nothing to set.
class FloatingPointScope {};
#endif

}  // namespace svg
