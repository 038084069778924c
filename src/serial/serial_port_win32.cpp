// The port's system calls on Windows: a synchronous exclusive handle, the
// device control block and the driver's read time-outs.
#include "serial/serial_port.h"

#include <windows.h>

namespace tolvane {
namespace {

HANDLE Handle(intptr_t port) { return reinterpret_cast<HANDLE>(port); }

}  // namespace

std::string OSerialPort::DeviceNameOf(int32_t n) { return "\\\\.\\COM" + std::to_string(n); }

bool OSerialPort::SysOpen(const std::string& name, uint32_t& error) {
  // A bare "COM10" names no file; the device namespace reaches every number.
  const std::string path = name.rfind("COM", 0) == 0 ? "\\\\.\\" + name : name;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  // A disk file or a pipe is not a port: nothing is ever written to it.
  if (GetFileType(h) != FILE_TYPE_CHAR) {
    CloseHandle(h);
    error = kNotSerialDevice;
    return false;
  }
  m_hPort = reinterpret_cast<intptr_t>(h);
  return true;
}

void OSerialPort::SysClose() { CloseHandle(Handle(m_hPort)); }

bool OSerialPort::SysConfigure(int32_t speed) {
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
  if (!SetCommState(Handle(m_hPort), &dcb)) return false;
  GetCommState(Handle(m_hPort), &dcb);
  m_Dcb.BaudRate = dcb.BaudRate;
  m_Dcb.ByteSize = dcb.ByteSize;
  m_Dcb.Parity = dcb.Parity;
  m_Dcb.StopBits = dcb.StopBits;
  SetupComm(Handle(m_hPort), 10485760, 1024);  // advisory queue sizes
  return true;
}

void OSerialPort::SysPrepare(const std::string&) { SetCommMask(Handle(m_hPort), 0); }

bool OSerialPort::SysSetTimeouts(const PortTimeouts& timeouts) {
  COMMTIMEOUTS t;
  t.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
  t.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
  t.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
  t.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
  t.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
  if (!SetCommTimeouts(Handle(m_hPort), &t)) return false;
  m_Active = timeouts;
  return true;
}

bool OSerialPort::SysRead(uint8_t* buffer, int32_t count, int32_t& received, uint32_t& error) {
  DWORD got = 0;
  BOOL ok = ReadFile(Handle(m_hPort), buffer, static_cast<DWORD>(count < 0 ? 0 : count), &got, nullptr);
  received = static_cast<int32_t>(got);
  if (!ok) {
    error = GetLastError();
    return false;
  }
  return true;
}

void OSerialPort::SysWrite(const uint8_t* data, int32_t count) {
  DWORD written = 0;
  WriteFile(Handle(m_hPort), data, static_cast<DWORD>(count), &written, nullptr);
}

bool OSerialPort::SysClearErrors(bool& frameError) {
  DWORD errors = 0;
  COMSTAT status;
  if (!ClearCommError(Handle(m_hPort), &errors, &status)) return false;
  frameError = (errors & CE_FRAME) != 0 || m_FramePending;
  m_FramePending = false;
  return true;
}

int32_t OSerialPort::SysPendingOutput() const {
  DWORD errors = 0;
  COMSTAT status;
  if (!ClearCommError(Handle(m_hPort), &errors, &status)) return 0;
  // Asking clears the error flags too: keep a framing error for ClearLineErrors.
  if (errors & CE_FRAME) m_FramePending = true;
  return static_cast<int32_t>(status.cbOutQue);
}

}  // namespace tolvane
