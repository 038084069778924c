// Numbers as text, the one formatter of the trace, the dump and the HEX
// writer: what printf's "%d" and "%0*X" give, without printf's cost on paths
// that format thousands of numbers.
#pragma once

#include <charconv>
#include <cstdint>

namespace tolvane {

// Writes value in hexadecimal, zero-padded to at least minDigits digits
// (upper case: "%0*X", lower: "%0*x"); returns the end. out needs room for
// max(8, minDigits) characters.
inline char* PutHex(char* out, uint32_t value, int minDigits = 1, bool lower = false) {
  const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
  int n = 1;
  while (n < 8 && (value >> (4 * n)) != 0) ++n;
  if (n < minDigits) n = minDigits;
  for (int i = n; i-- > 0; value >>= 4) out[i] = digits[value & 0x0F];
  return out + n;
}

// Writes value in decimal ("%d" / "%u"); returns the end. out needs room for
// 11 characters.
template <typename Integer>
char* PutDec(char* out, Integer value) {
  return std::to_chars(out, out + 11, value).ptr;
}

}  // namespace tolvane
