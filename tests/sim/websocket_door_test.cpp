// The simulated device's WebSocket, as a browser's socket meets it: the
// opening handshake, masked frames that arrive in pieces, ping and close; and
// the pseudo-terminal's client has the line again once the socket is gone.
#include "serial/serial_port.h"
#include "sim/simulated_device.h"

#include "monitor_frames.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvane {
namespace {

using test::ReadFrame;

class SocketClient {
 public:
  explicit SocketClient(const std::string& url) {
    const int port = std::stoi(url.substr(url.rfind(':') + 1));
    m_Fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    m_Connected = connect(m_Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~SocketClient() { close(m_Fd); }
  bool Connected() const { return m_Connected; }

  void Send(const std::vector<uint8_t>& bytes) const {
    ASSERT_EQ(send(m_Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  }
  void Send(const std::string& text) const { Send(std::vector<uint8_t>(text.begin(), text.end())); }

  // At least count bytes (or what came within a second).
  std::vector<uint8_t> Receive(size_t count) const {
    std::vector<uint8_t> got;
    uint8_t buffer[512];
    while (got.size() < count) {
      pollfd p{m_Fd, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) break;
      const ssize_t n = recv(m_Fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

 private:
  int m_Fd = -1;
  bool m_Connected = false;
};

// A client's frame: final, masked.
std::vector<uint8_t> ClientFrame(uint8_t opcode, const std::vector<uint8_t>& payload) {
  const uint8_t mask[4] = {0x37, 0xFA, 0x21, 0x3D};
  std::vector<uint8_t> frame{static_cast<uint8_t>(0x80 | opcode), static_cast<uint8_t>(0x80 | payload.size())};
  for (const uint8_t m : mask) frame.push_back(m);
  for (size_t i = 0; i < payload.size(); ++i) frame.push_back(payload[i] ^ mask[i & 3]);
  return frame;
}

TEST(WebSocketDoor, ServesThePageAndGivesTheLineBackToThePseudoTerminal) {
  SimulatedDeviceOptions options;
  options.WebSocketPort = 0;
  SimulatedDevice device(options);
  std::string error;
  ASSERT_TRUE(device.Start(&error)) << error;
  ASSERT_EQ(device.WebSocketUrl().rfind("ws://127.0.0.1:", 0), 0u) << device.WebSocketUrl();

  {
    SocketClient page(device.WebSocketUrl());
    ASSERT_TRUE(page.Connected());
    // The sample key of RFC 6455 and its answer; header names in any case.
    page.Send(
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "SEC-WEBSOCKET-KEY: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    const std::vector<uint8_t> answer = page.Receive(1);
    const std::string text(answer.begin(), answer.end());
    EXPECT_EQ(text.rfind("HTTP/1.1 101", 0), 0u) << text;
    EXPECT_NE(text.find("Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"), std::string::npos) << text;

    // A read of the device ID in a frame that arrives in two pieces.
    const std::vector<uint8_t> frame = ClientFrame(0x2, ReadFrame(0x3FFFFC));
    page.Send(std::vector<uint8_t>(frame.begin(), frame.begin() + 3));
    usleep(20000);
    page.Send(std::vector<uint8_t>(frame.begin() + 3, frame.end()));
    std::vector<uint8_t> data;
    while (data.size() < 32) {
      const std::vector<uint8_t> header = page.Receive(2);
      ASSERT_GE(header.size(), 2u);
      ASSERT_EQ(header[0], 0x82);  // final, binary
      const size_t size = header[1];
      std::vector<uint8_t> rest(header.begin() + 2, header.end());
      if (rest.size() < size) {
        const std::vector<uint8_t> more = page.Receive(size - rest.size());
        rest.insert(rest.end(), more.begin(), more.end());
      }
      ASSERT_EQ(rest.size(), size);
      data.insert(data.end(), rest.begin(), rest.end());
    }
    ASSERT_EQ(data.size(), 32u);
    EXPECT_EQ(data[2], 0x60);  // the device ID, 0x6C60
    EXPECT_EQ(data[3], 0x6C);

    // A ping is answered with its pong, a close with a close.
    page.Send(ClientFrame(0x9, {1, 2}));
    EXPECT_EQ(page.Receive(4), (std::vector<uint8_t>{0x8A, 2, 1, 2}));
    page.Send(ClientFrame(0x8, {0x03, 0xE8}));
    EXPECT_EQ(page.Receive(4), (std::vector<uint8_t>{0x88, 2, 0x03, 0xE8}));
  }

  // The page is gone: the pseudo-terminal's client is answered again.
  OSerialPort port;
  ASSERT_TRUE(port.OpenDevice(device.PortPath(), 57600)) << port.ErrorText();
  const std::vector<uint8_t> read = ReadFrame(0x3FFFFC);
  port.Write(read.data(), static_cast<int32_t>(read.size()));
  uint8_t reply[32];
  int32_t received = 0;
  port.ReadTimed(reply, 32, received, 1000);
  ASSERT_EQ(received, 32);
  EXPECT_EQ(reply[3], 0x6C);
}

}  // namespace
}  // namespace tolvane
