// Finding line ends in short texts. The log and the HEX reader look for '\n'
// in every line they handle; lines are short, so an inline search sixteen
// bytes at a time beats a library call's set-up.
#pragma once

#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolvane {

// Offset of the first '\n' in text, npos when there is none.
inline size_t FindLineEnd(std::string_view text) {
  const char* data = text.data();
  const size_t size = text.size();
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i newline = _mm_set1_epi8('\n');
  for (; i + 16 <= size; i += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, newline));
    if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
  }
#endif
  for (; i < size; ++i)
    if (data[i] == '\n') return i;
  return std::string_view::npos;
}

// True when text's only '\n' is its last character.
inline bool IsOneWholeLine(std::string_view text) {
  return !text.empty() && FindLineEnd(text) == text.size() - 1;
}

}  // namespace tolvane
