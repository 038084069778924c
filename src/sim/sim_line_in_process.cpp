// The simulated device's line inside the program.
#include "serial/in_process_line.h"
#include "sim/sim_line.h"

namespace tolvane::sim {
namespace {

class InProcessSimLine : public SimLine {
 public:
  explicit InProcessSimLine(std::string& path) : m_Line(CreateInProcessLine(path)) {}
  ~InProcessSimLine() override { m_Line->HangUp(); }

  size_t Read(uint8_t* buffer, size_t max) override { return m_Line->DeviceRead(buffer, max); }
  bool InputWaiting() override { return m_Line->DeviceInputWaiting(); }
  size_t Write(const uint8_t* data, size_t count) override { return m_Line->DeviceWrite(data, count); }
  bool Wait(int64_t timeoutNs) override {
    m_Line->DeviceWait(timeoutNs);
    return true;
  }
  void Wake() override { m_Line->Wake(); }
  void HangUp() override { m_Line->HangUp(); }

 private:
  std::shared_ptr<InProcessLine> m_Line;
};

}  // namespace

std::unique_ptr<SimLine> OpenInProcessSimLine(std::string& path) { return std::make_unique<InProcessSimLine>(path); }

}  // namespace tolvane::sim
