#include "session/sha256.h"

#include <gcrypt.h>

#include <mutex>

namespace tolvane {
namespace {

// libgcrypt wants to be told once that nobody needs its secure memory here:
// the digest of a firmware file is no secret.
void InitialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

}  // namespace

struct Sha256::State {
  gcry_md_hd_t Handle = nullptr;
};

Sha256::Sha256() : m_State(new State) {
  InitialiseOnce();
  gcry_md_open(&m_State->Handle, GCRY_MD_SHA256, 0);
}

Sha256::~Sha256() {
  if (m_State->Handle != nullptr) gcry_md_close(m_State->Handle);
  delete m_State;
}

void Sha256::Add(std::string_view bytes) {
  if (m_State->Handle != nullptr) gcry_md_write(m_State->Handle, bytes.data(), bytes.size());
}

std::string Sha256::HexDigest() {
  if (m_State->Handle == nullptr) return {};
  const unsigned char* digest = gcry_md_read(m_State->Handle, GCRY_MD_SHA256);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; digest != nullptr && i < gcry_md_get_algo_dlen(GCRY_MD_SHA256); ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 0x0F];
  }
  return text;
}

}  // namespace tolvane
