// The device's end of the simulated device's line: a pseudo-terminal where
// the system has them, else a line inside the program (serial/in_process_line.h).
// The engine reads, writes and sleeps through it; the client opens the path
// it names like any serial port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tolvane::sim {

class SimLine {
 public:
  virtual ~SimLine() = default;
  // What the client has sent, without waiting; 0 when nothing is there.
  virtual size_t Read(uint8_t* buffer, size_t max) = 0;
  // When the bytes of the last Read() reached the line, on NowNs()'s clock,
  // where the line keeps that time; -1: the moment of the read stands.
  virtual int64_t LastArrivalNs() const { return -1; }
  // Whether anything is waiting, without ever sleeping.
  virtual bool InputWaiting() = 0;
  // Puts bytes on the line; returns how many it took.
  virtual size_t Write(const uint8_t* data, size_t count) = 0;
  // Sleeps until the client sends something, Wake() is called, or timeoutNs
  // passes (negative: no limit). False when the line can no longer be waited on.
  virtual bool Wait(int64_t timeoutNs) = 0;
  // Ends a Wait() from another thread.
  virtual void Wake() = 0;
  // Closes the device's end: the client's next read or write fails.
  virtual void HangUp() = 0;
  // A client that ended without closing the port may have left the line
  // locked; this frees it once that client is gone.
  virtual void ReleaseDepartedClient() {}
  // Also serves the line as a WebSocket on 127.0.0.1:port (0: a free port)
  // for a web page; url is where it connects. Only a pseudo-terminal's line can.
  virtual bool OpenWebSocketDoor(int32_t port, std::string& url, std::string* error) {
    (void)port;
    (void)url;
    if (error) *error = "a WebSocket needs the device on a pseudo-terminal";
    return false;
  }
};

// in-process: the line inside the program, whatever the system offers.
std::unique_ptr<SimLine> OpenSimLine(bool inProcess, std::string& path, std::string* error);
std::unique_ptr<SimLine> OpenInProcessSimLine(std::string& path);

// Makes the calling thread keep the line's times (priority, timer slack) as
// far as the system allows.
void TuneServingThread(bool emulated);

}  // namespace tolvane::sim
