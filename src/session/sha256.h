// The SHA-256 digest of a stream of bytes (libgcrypt's on the desktop, the
// browser's own on a web page), as 64 lower-case hexadecimal digits: how
// records and results name a file.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Add(std::string_view bytes);
  // The digest of everything added; the object is done then.
  std::string HexDigest();

 private:
  struct State;
  State* m_State;
};

}  // namespace tolvane
