// A second way onto the simulated device's line: a WebSocket on 127.0.0.1,
// so that a web page's serial port (a stand-in over a WebSocket) talks to
// the same device as the programs on its pseudo-terminal. One client at a
// time, the latest to connect; each binary message is bytes on the line.
//
// Served here rather than by a program between the socket and the
// pseudo-terminal: every hop adds its latency to every command of a run, and
// the device's own wait covers the socket too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace tolvane::sim {

class WebSocketDoor {
 public:
  WebSocketDoor() = default;
  WebSocketDoor(const WebSocketDoor&) = delete;
  WebSocketDoor& operator=(const WebSocketDoor&) = delete;
  ~WebSocketDoor() { Close(); }

  // Listens on 127.0.0.1:port (0: a free one); url is where to connect.
  bool Listen(int32_t port, std::string& url, std::string* error);
  // The sockets to wait on (-1 when there is none).
  int ListenFd() const { return m_Listen; }
  int ClientFd() const { return m_Client; }
  // A client knocks: it is let in, and an earlier one is closed.
  void Admit();
  bool Connected() const { return m_Client >= 0; }
  // Takes in what the client has sent, without sleeping; true when bytes
  // for the line are waiting.
  bool InputWaiting();
  // Bytes of one message at most, and when that message reached the socket
  // (the kernel's time, on NowNs()'s clock): the device need not be awake
  // at that moment to hear it in time.
  size_t Read(uint8_t* buffer, size_t max, int64_t& arrivedNs);
  // The device's bytes as one message; false without a client.
  bool Write(const uint8_t* data, size_t count);
  // The client is dropped and no other is let in: the line is gone.
  void Close();

 private:
  void DropClient();
  // Turns the client's frames received so far into bytes for the line.
  void Unframe(int64_t arrivedNs);
  bool SendFrame(uint8_t opcode, const uint8_t* payload, size_t count);

  int m_Listen = -1;
  int m_Client = -1;
  std::vector<uint8_t> m_Frames;  // received, not yet a whole frame
  struct Message {
    std::vector<uint8_t> Bytes;
    size_t Taken = 0;
    int64_t ArrivedNs = 0;
  };
  std::deque<Message> m_Input;  // for the line, oldest first
};

}  // namespace tolvane::sim
