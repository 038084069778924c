// The port's system calls on Windows: a synchronous exclusive handle, the
// device control block and the driver's read time-outs. A read at once runs
// with the no-wait time-outs, a read until a deadline with the waiting ones,
// which are sent to the driver only when the kind of read changes. The
// control block and time-outs found at the open are put back at the close.
#include "serial/serial_port_backend.h"

#include "log/console_log.h"
#include "serial/held_ports.h"

#include <windows.h>

#include <csignal>

namespace tolvane {
namespace {

// The console's control handler gives them back on a thread of its own while
// the work goes on.
HeldPorts<HANDLE, DCB> g_Held(nullptr, INVALID_HANDLE_VALUE);

class Win32Backend final : public OSerialPort::Backend {
 public:
  explicit Win32Backend(HANDLE handle) : m_Handle(handle) {
    m_FoundDcb.DCBlength = sizeof m_FoundDcb;
    m_HaveFound = GetCommState(m_Handle, &m_FoundDcb) && GetCommTimeouts(m_Handle, &m_FoundTimeouts);
    if (m_HaveFound) g_Held.Hold(m_Handle, m_FoundDcb, GiveBackPortsNow);
  }
  ~Win32Backend() override {
    g_Held.Release(m_Handle);
    if (m_HaveFound) {
      SetCommState(m_Handle, &m_FoundDcb);
      SetCommTimeouts(m_Handle, &m_FoundTimeouts);
    }
    CloseHandle(m_Handle);
  }

  bool Configure(int32_t speed, uint32_t& taken) override {
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = static_cast<DWORD>(speed);
    dcb.fBinary = TRUE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;  // flag word 0x1001; DTR_CONTROL_DISABLE is 0
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    if (!SetCommState(m_Handle, &dcb)) return false;
    GetCommState(m_Handle, &dcb);
    taken = dcb.BaudRate;
    SetupComm(m_Handle, 10485760, 1024);  // advisory queue sizes
    return true;
  }

  void Prepare(const std::string&) override { SetCommMask(m_Handle, 0); }

  bool PrepareReads() override {
    m_Wait = false;
    COMMTIMEOUTS set = kNoWait;
    return SetCommTimeouts(m_Handle, &set) != 0;
  }

  bool ReadNow(uint8_t* buffer, int32_t count, int32_t& received, uint32_t& error) override {
    SwitchTo(false);
    return ReadOnce(buffer, count, received, error);
  }

  // One ReadFile returns when its count is there or a second has passed; the
  // deadline decides whether another follows.
  bool ReadUntil(uint8_t* buffer, int32_t count, int32_t& received, Clock::time_point deadline,
                 uint32_t& error) override {
    SwitchTo(true);
    received = 0;
    for (;;) {
      int32_t got = 0;
      if (!ReadOnce(buffer + received, count - received, got, error)) return false;
      received += got;
      if (received >= count || Clock::now() > deadline) return true;
    }
  }

  // The driver has no write time-out here (the device's own line never
  // stalls); a stop request is seen between two writes.
  bool Write(const uint8_t* data, int32_t count, const std::atomic<bool>*, uint32_t& error) override {
    DWORD written = 0;
    if (!WriteFile(m_Handle, data, static_cast<DWORD>(count), &written, nullptr)) {
      error = GetLastError();
      return false;
    }
    if (written != static_cast<DWORD>(count)) {
      error = kWriteStalled;
      return false;
    }
    return true;
  }

  bool ClearErrors(bool& frameError) override {
    DWORD errors = 0;
    COMSTAT status;
    if (!ClearCommError(m_Handle, &errors, &status)) return false;
    frameError = (errors & CE_FRAME) != 0 || m_FramePending;
    m_FramePending = false;
    return true;
  }

  void DiscardOutput() override { PurgeComm(m_Handle, PURGE_TXABORT | PURGE_TXCLEAR); }

  int32_t PendingOutput() override {
    DWORD errors = 0;
    COMSTAT status;
    if (!ClearCommError(m_Handle, &errors, &status)) return 0;
    // Asking clears the error flags too: keep a framing error for ClearErrors.
    if (errors & CE_FRAME) m_FramePending = true;
    return static_cast<int32_t>(status.cbOutQue);
  }

 private:
  // The two time-out sets (milliseconds; MAXDWORD: return at once with what
  // is buffered): no write time-out in either.
  static constexpr COMMTIMEOUTS kNoWait{MAXDWORD, 0, 0, 0, 0};
  static constexpr COMMTIMEOUTS kWait{1000, 0, 1000, 0, 0};

  void SwitchTo(bool wait) {
    if (wait == m_Wait) return;
    m_Wait = wait;
    COMMTIMEOUTS set = wait ? kWait : kNoWait;
    if (!SetCommTimeouts(m_Handle, &set))
      Log().Text("OSerialPort::SetWaitStrategy() - call SetCommTimeouts() error !!!! \n");
  }

  bool ReadOnce(uint8_t* buffer, int32_t count, int32_t& received, uint32_t& error) {
    DWORD got = 0;
    BOOL ok = ReadFile(m_Handle, buffer, static_cast<DWORD>(count < 0 ? 0 : count), &got, nullptr);
    received = static_cast<int32_t>(got);
    if (!ok) {
      error = GetLastError();
      return false;
    }
    return true;
  }

  HANDLE m_Handle;
  bool m_Wait = false;  // the waiting time-outs are in the driver
  DCB m_FoundDcb{};
  COMMTIMEOUTS m_FoundTimeouts{};
  bool m_HaveFound = false;
  bool m_FramePending = false;  // a framing error taken while asking for the queue
};

}  // namespace

void GiveBackPortsNow() {
  g_Held.ForEach([](HANDLE handle, DCB found) { SetCommState(handle, &found); });
}

void GiveBackPortsAndRaise(int signalNumber) {
  GiveBackPortsNow();
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

std::unique_ptr<OSerialPort::Backend> OpenSystemPort(const std::string& name, uint32_t& error) {
  // A bare "COM10" names no file; the device namespace reaches every number.
  const std::string path = name.rfind("COM", 0) == 0 ? "\\\\.\\" + name : name;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  // A disk file or a pipe is not a port: nothing is ever written to it.
  if (GetFileType(h) != FILE_TYPE_CHAR) {
    CloseHandle(h);
    error = kNotSerialDevice;
    return nullptr;
  }
  return std::make_unique<Win32Backend>(h);
}

}  // namespace tolvane
