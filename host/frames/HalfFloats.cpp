// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#include "host/frames/HalfFloats.h"

#include <Imath/half.h>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace huecast::host::frames
{
namespace
{

void halvesToFloatsOneByOne(const std::uint16_t* halves, float* floats, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
    {
        half value;
        value.setBits(halves[i]);
        floats[i] = static_cast<float>(value);
    }
}

void floatsToHalvesOneByOne(const float* floats, std::uint16_t* halves, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
    {
        halves[i] = half(floats[i]).bits();
    }
}

#if defined(__x86_64__)

// Imath's tables and the F16C instructions agree on every value but NaNs, whose payloads they
// carry differently: eight at a time through the instructions, and a group holding a NaN one
// by one, so the bits written never depend on the machine.
[[gnu::target("avx,f16c")]] void halvesToFloatsF16c(const std::uint16_t* halves, float* floats,
                                                    std::size_t count)
{
    std::size_t i = 0;
    const __m128i exponent = _mm_set1_epi16(0x7C00);
    for (; i + 8 <= count; i += 8)
    {
        const __m128i bits = _mm_loadu_si128(reinterpret_cast<const __m128i*>(halves + i));
        // An exponent of all ones is an infinity or a NaN; only the latter goes one by one.
        const __m128i special = _mm_cmpeq_epi16(_mm_and_si128(bits, exponent), exponent);
        if (_mm_movemask_epi8(special) != 0)
        {
            halvesToFloatsOneByOne(halves + i, floats + i, 8);
            continue;
        }
        _mm256_storeu_ps(floats + i, _mm256_cvtph_ps(bits));
    }
    halvesToFloatsOneByOne(halves + i, floats + i, count - i);
}

[[gnu::target("avx,f16c")]] void floatsToHalvesF16c(const float* floats, std::uint16_t* halves,
                                                    std::size_t count)
{
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8)
    {
        const __m256 values = _mm256_loadu_ps(floats + i);
        if (_mm256_movemask_ps(_mm256_cmp_ps(values, values, _CMP_UNORD_Q)) != 0)
        {
            floatsToHalvesOneByOne(floats + i, halves + i, 8);
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(halves + i),
                         _mm256_cvtps_ph(values, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
    }
    floatsToHalvesOneByOne(floats + i, halves + i, count - i);
}

// The F16C bit comes from cpuid itself: clang's __builtin_cpu_supports has no name for it.
// AVX's check covers the system saving the wide registers, which F16C's also need.
bool hasF16c()
{
    static const bool has = []
    {
        unsigned eax = 0;
        unsigned ebx = 0;
        unsigned ecx = 0;
        unsigned edx = 0;
        return __builtin_cpu_supports("avx") && __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 &&
               (ecx & bit_F16C) != 0;
    }();
    return has;
}

#endif

} // namespace

void halvesToFloats(const std::uint16_t* halves, float* floats, std::size_t count)
{
#if defined(__x86_64__)
    if (hasF16c())
    {
        halvesToFloatsF16c(halves, floats, count);
        return;
    }
#endif
    halvesToFloatsOneByOne(halves, floats, count);
}

void floatsToHalves(const float* floats, std::uint16_t* halves, std::size_t count)
{
#if defined(__x86_64__)
    if (hasF16c())
    {
        floatsToHalvesF16c(floats, halves, count);
        return;
    }
#endif
    floatsToHalvesOneByOne(floats, halves, count);
}

} // namespace huecast::host::frames
