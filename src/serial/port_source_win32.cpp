// The present ports from the device set-up service: every present device of
// the COM port interface class with an identity and a "PortName" of the form
// COMn. Where the service knows no COM port at all (some virtual-port
// drivers, Wine), the ports the system's serial device map lists instead.
#include "serial/port_list.h"
#include "serial/win32_text.h"

#include <windows.h>
#include <setupapi.h>

#include <cstdio>

namespace tolvane {
namespace {

// GUID_DEVINTERFACE_COMPORT {86E0D1E0-8089-11D0-9CE4-08003E301F73}
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

constexpr DWORD kValueSize = 256;

// "COMn" with n >= 1 as its number, else 0.
int ComNumber(const char* name) {
  int n = 0;
  return std::sscanf(name, "COM%d", &n) == 1 && n >= 1 ? n : 0;
}

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: one value per port, the driver's device
// name holding the port's name.
void ListDeviceMapPorts(std::vector<PortRecord>& ports) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (DWORD index = 0;; ++index) {
    char device[kValueSize] = {}, port[kValueSize] = {};
    DWORD deviceSize = kValueSize, portSize = kValueSize - 1, type = 0;
    LONG result =
        RegEnumValueA(key, index, device, &deviceSize, nullptr, &type, reinterpret_cast<BYTE*>(port), &portSize);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    if (int n = ComNumber(port); n > 0) ports.push_back({"COM" + std::to_string(n), AnsiToUtf8(device)});
  }
  RegCloseKey(key);
}

class SetupApiPortSource : public IPortSource {
 public:
  bool ListPorts(std::vector<PortRecord>& ports) override {
    const size_t before = ports.size();
    HDEVINFO set = SetupDiGetClassDevsA(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
      ListDeviceMapPorts(ports);
      return ports.size() > before;
    }
    for (DWORD index = 0;; ++index) {
      SP_DEVINFO_DATA info;
      ZeroMemory(&info, sizeof info);
      info.cbSize = sizeof info;
      if (!SetupDiEnumDeviceInfo(set, index, &info)) break;
      char id[kValueSize] = {}, pdo[kValueSize] = {}, friendly[kValueSize] = {}, portName[kValueSize] = {};
      if (!SetupDiGetDeviceInstanceIdA(set, &info, id, kValueSize, nullptr)) id[0] = '\0';
      id[kValueSize - 1] = '\0';
      if (!SetupDiGetDeviceRegistryPropertyA(set, &info, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME, nullptr,
                                             reinterpret_cast<PBYTE>(pdo), kValueSize, nullptr))
        pdo[0] = '\0';
      pdo[kValueSize - 1] = '\0';
      if (id[0] == '\0' || pdo[0] == '\0') continue;
      if (!SetupDiGetDeviceRegistryPropertyA(set, &info, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<PBYTE>(friendly),
                                             kValueSize, nullptr))
        friendly[0] = '\0';
      friendly[kValueSize - 1] = '\0';
      if (!SetupDiGetCustomDevicePropertyA(set, &info, "PortName", 0, nullptr, reinterpret_cast<PBYTE>(portName),
                                           kValueSize, nullptr))
        portName[0] = '\0';
      portName[kValueSize - 1] = '\0';
      if (int n = ComNumber(portName); n > 0) ports.push_back({"COM" + std::to_string(n), AnsiToUtf8(friendly)});
    }
    SetupDiDestroyDeviceInfoList(set);
    if (ports.size() == before) ListDeviceMapPorts(ports);
    return true;
  }
};

}  // namespace

IPortSource& SystemPortSource() {
  static SetupApiPortSource source;
  return source;
}

}  // namespace tolvane
