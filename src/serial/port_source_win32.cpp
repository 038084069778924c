// The present ports from the device set-up service: every present device of
// the COM port interface class with an identity and a "PortName" of the form
// COMn.
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

class SetupApiPortSource : public IPortSource {
 public:
  bool ListPorts(std::vector<PortRecord>& ports) override {
    HDEVINFO set = SetupDiGetClassDevsA(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return false;
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
      int n = 0;
      if (std::sscanf(portName, "COM%d", &n) != 1 || n < 1) continue;
      ports.push_back({"COM" + std::to_string(n), AnsiToUtf8(friendly)});
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
  }
};

}  // namespace

IPortSource& SystemPortSource() {
  static SetupApiPortSource source;
  return source;
}

}  // namespace tolvane
