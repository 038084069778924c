// The port of a web page: the SerialPort the page chose through the
// browser's Web Serial API (web_serial.js holds it and moves its bytes).
// A timed read waits on the browser's event loop (Asyncify), so the link and
// the procedures run unchanged on the page's one thread.
//
// Errors as the serial layer has them: false, and the reason in ErrorText()
// (opening) or LastError() (a DOMException's name as a code, whose text is
// the browser's message: serial/browser_error.h). A disconnect or a failed
// read makes the port lost: reads and writes fail with kSystemDeviceGone.
#pragma once

#include "serial/byte_port.h"
#include "serial/serial_port.h"

#include <cstdint>
#include <string>

namespace tolvane {

class OWebSerialPort : public IBytePort {
 public:
  // name: how the page calls the port it chose, for the messages.
  explicit OWebSerialPort(std::string name = "Web Serial") : m_Name(std::move(name)) {}
  ~OWebSerialPort() override;
  OWebSerialPort(const OWebSerialPort&) = delete;
  OWebSerialPort& operator=(const OWebSerialPort&) = delete;

  // Opens the port the page chose at the speed, 8N1 without flow control.
  bool Open(int32_t speed = kDefaultBaud);
  void Close();

  // IBytePort
  bool IsOpen() const override { return m_Open; }
  bool Write(const uint8_t* data, int32_t count) override;
  bool Read(uint8_t* buffer, int32_t max, int32_t& received) override;
  bool ReadTimed(uint8_t* buffer, int32_t wanted, int32_t& received, int32_t timeoutMs) override;
  bool ClearLineErrors() override;
  int32_t PendingOutput() const override;
  void DiscardOutput() override;
  uint32_t LastError() const override { return m_LastError; }
  int32_t FrameErrors() const override { return m_FrameErrors; }
  const std::string& ErrorText() const override { return m_ErrorText; }

 private:
  // A lost port's reason, when it is lost: false with LastError set.
  bool StillThere();

  std::string m_Name;
  bool m_Open = false;
  std::string m_ErrorText;
  uint32_t m_LastError = 0;
  uint32_t m_LoggedWriteError = 0;
  int32_t m_FrameErrors = 0;
};

}  // namespace tolvane
