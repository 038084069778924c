// The browser's SHA-256 (crypto.subtle.digest), awaited on the page's event
// loop (Asyncify). The browser digests a whole buffer, so the bytes are
// gathered first; a firmware file is small.
#include <emscripten.h>

#include <array>
#include <cstdint>

#include "session/sha256.h"

namespace tolvane {
namespace {

// clang-format off
EM_ASYNC_JS(int, tolvane_browser_sha256, (const uint8_t* data, int size, uint8_t* digest), {
  try {
    const bytes = HEAPU8.slice(data, data + size);
    const result = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
    HEAPU8.set(result, digest);
    return 1;
  } catch (error) {
    err('SHA-256: ' + error);
    return 0;
  }
});
// clang-format on

}  // namespace

struct Sha256::State {
  std::string Bytes;
};

Sha256::Sha256() : m_State(new State) {}

Sha256::~Sha256() { delete m_State; }

void Sha256::Add(std::string_view bytes) { m_State->Bytes.append(bytes); }

std::string Sha256::HexDigest() {
  std::array<uint8_t, 32> digest{};
  const auto* data = reinterpret_cast<const uint8_t*>(m_State->Bytes.data());
  if (!tolvane_browser_sha256(data, static_cast<int>(m_State->Bytes.size()), digest.data())) return {};
  m_State->Bytes.clear();
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace tolvane
