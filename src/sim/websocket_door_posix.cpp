#include "sim/websocket_door.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gcrypt.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string_view>

#include "sim/wire_pacing.h"

namespace tolvane::sim {
namespace {

// The opening request of a client must come within this long.
constexpr int kHandshakeMs = 2000;
constexpr size_t kRequestLimit = 8192;
// A message of the line is never this large: a frame that claims more is
// no client of ours.
constexpr uint64_t kFrameLimit = 1 << 20;
constexpr std::string_view kKeyHeader = "sec-websocket-key:";
constexpr std::string_view kAcceptGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

enum Opcode : uint8_t { kContinuation = 0x0, kText = 0x1, kBinary = 0x2, kClose = 0x8, kPing = 0x9, kPong = 0xA };

// The kernel's time of a message, on NowNs()'s clock; the read's own moment
// when the kernel gave none.
int64_t ArrivalOf(msghdr& message) {
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
    timespec stamp{};
    std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    const int64_t sinceNs =
        (int64_t{wall.tv_sec} - stamp.tv_sec) * 1'000'000'000 + (int64_t{wall.tv_nsec} - stamp.tv_nsec);
    return NowNs() - std::max<int64_t>(0, sinceNs);
  }
  return NowNs();
}

std::string SystemText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

std::string Base64(const uint8_t* bytes, size_t count) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < count; i += 3) {
    uint32_t group = uint32_t{bytes[i]} << 16;
    if (i + 1 < count) group |= uint32_t{bytes[i + 1]} << 8;
    if (i + 2 < count) group |= bytes[i + 2];
    for (size_t k = 0; k < 4; ++k) text += i + k <= count ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return text;
}

// The answer to a client's key (RFC 6455, 4.2.2).
std::string AcceptKey(std::string_view key) {
  static std::once_flag once;
  std::call_once(once, [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
  std::string text(key);
  text += kAcceptGuid;
  uint8_t digest[20];
  gcry_md_hash_buffer(GCRY_MD_SHA1, digest, text.data(), text.size());
  return Base64(digest, sizeof digest);
}

// The key of an opening request (header names in any case), or empty.
std::string KeyOf(const std::string& request) {
  for (size_t line = 0; line < request.size();) {
    const size_t end = request.find("\r\n", line);
    if (end == std::string::npos) break;
    if (end - line > kKeyHeader.size() &&
        std::equal(kKeyHeader.begin(), kKeyHeader.end(), request.begin() + static_cast<std::ptrdiff_t>(line),
                   [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b); })) {
      size_t begin = line + kKeyHeader.size();
      while (begin < end && request[begin] == ' ') ++begin;
      return request.substr(begin, end - begin);
    }
    line = end + 2;
  }
  return {};
}

bool SendAll(int fd, const uint8_t* data, size_t count) {
  while (count > 0) {
    const ssize_t n = send(fd, data, count, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

// Reads the opening request (the client speaks first, and at once) and
// accepts it; false when it is not one.
bool Handshake(int fd) {
  std::string request;
  char buffer[1024];
  while (request.find("\r\n\r\n") == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (request.size() > kRequestLimit || poll(&p, 1, kHandshakeMs) <= 0) return false;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    request.append(buffer, static_cast<size_t>(n));
  }
  const std::string key = KeyOf(request);
  const std::string answer = key.empty()
                                 ? std::string("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n")
                                 : "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                   "Sec-WebSocket-Accept: " +
                                       AcceptKey(key) + "\r\n\r\n";
  return SendAll(fd, reinterpret_cast<const uint8_t*>(answer.data()), answer.size()) && !key.empty();
}

}  // namespace

bool WebSocketDoor::Listen(int32_t port, std::string& url, std::string* error) {
  auto fail = [&](const char* what) {
    if (error) *error = SystemText(what);
    Close();
    return false;
  };
  m_Listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (m_Listen < 0) return fail("socket");
  const int on = 1;
  setsockopt(m_Listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(m_Listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return fail("bind");
  if (listen(m_Listen, 4) != 0) return fail("listen");
  socklen_t size = sizeof address;
  if (getsockname(m_Listen, reinterpret_cast<sockaddr*>(&address), &size) != 0) return fail("getsockname");
  url = "ws://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
  return true;
}

void WebSocketDoor::Admit() {
  const int fd = accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  // A send to a client that stopped reading gives up rather than hold the device.
  const timeval limit{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  if (!Handshake(fd)) {
    close(fd);
    return;
  }
  DropClient();
  m_Client = fd;
}

void WebSocketDoor::DropClient() {
  if (m_Client >= 0) close(m_Client);
  m_Client = -1;
  m_Frames.clear();
  m_Input.clear();
}

void WebSocketDoor::Close() {
  DropClient();
  if (m_Listen >= 0) close(m_Listen);
  m_Listen = -1;
}

bool WebSocketDoor::InputWaiting() {
  uint8_t buffer[4096];
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  while (m_Client >= 0) {
    iovec part{buffer, sizeof buffer};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(m_Client, &message, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      DropClient();  // the page closed its port, or went
      break;
    }
    m_Frames.insert(m_Frames.end(), buffer, buffer + n);
    Unframe(ArrivalOf(message));
  }
  return !m_Input.empty();
}

void WebSocketDoor::Unframe(int64_t arrivedNs) {
  while (m_Client >= 0 && m_Frames.size() >= 2) {
    const uint8_t opcode = m_Frames[0] & 0x0F;
    uint64_t size = m_Frames[1] & 0x7F;
    size_t at = 2;
    if (size >= 126) {
      const size_t extra = size == 126 ? 2 : 8;
      if (m_Frames.size() < at + extra) return;
      size = 0;
      for (size_t i = 0; i < extra; ++i) size = size << 8 | m_Frames[at + i];
      at += extra;
    }
    // A client masks every frame (RFC 6455, 5.1).
    if (!(m_Frames[1] & 0x80) || size > kFrameLimit) return DropClient();
    if (m_Frames.size() < at + 4 + size) return;
    const uint8_t* mask = &m_Frames[at];
    at += 4;
    std::vector<uint8_t> payload(m_Frames.begin() + static_cast<std::ptrdiff_t>(at),
                                 m_Frames.begin() + static_cast<std::ptrdiff_t>(at + size));
    for (size_t i = 0; i < payload.size(); ++i) payload[i] ^= mask[i & 3];
    m_Frames.erase(m_Frames.begin(), m_Frames.begin() + static_cast<std::ptrdiff_t>(at + size));
    switch (opcode) {
      case kContinuation:
      case kText:
      case kBinary:
        if (!payload.empty()) m_Input.push_back({std::move(payload), 0, arrivedNs});
        break;
      case kClose: SendFrame(kClose, payload.data(), std::min<size_t>(payload.size(), 2)); return DropClient();
      case kPing: SendFrame(kPong, payload.data(), payload.size()); break;
      default:  // a pong, or what no client sends
        break;
    }
  }
}

size_t WebSocketDoor::Read(uint8_t* buffer, size_t max, int64_t& arrivedNs) {
  // What is queued goes first: the socket is read only when nothing is.
  if (m_Input.empty() && !InputWaiting()) return 0;
  Message& first = m_Input.front();
  const size_t n = std::min(max, first.Bytes.size() - first.Taken);
  std::memcpy(buffer, first.Bytes.data() + first.Taken, n);
  first.Taken += n;
  arrivedNs = first.ArrivedNs;
  if (first.Taken == first.Bytes.size()) m_Input.pop_front();
  return n;
}

bool WebSocketDoor::Write(const uint8_t* data, size_t count) {
  return m_Client >= 0 && SendFrame(kBinary, data, count);
}

bool WebSocketDoor::SendFrame(uint8_t opcode, const uint8_t* payload, size_t count) {
  // One send for the header and the payload: one segment on the loopback.
  std::vector<uint8_t> frame{static_cast<uint8_t>(0x80 | opcode)};
  if (count < 126) {
    frame.push_back(static_cast<uint8_t>(count));
  } else if (count < 65536) {
    frame.insert(frame.end(), {126, static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)});
  } else {
    frame.push_back(127);
    for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<uint8_t>(uint64_t{count} >> shift));
  }
  frame.insert(frame.end(), payload, payload + count);
  if (SendAll(m_Client, frame.data(), frame.size())) return true;
  DropClient();
  return false;
}

}  // namespace tolvane::sim
