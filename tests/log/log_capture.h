// A test fixture that captures what the log writes while a test runs and
// leaves the log as it found it.
#pragma once

#include "log/console_log.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace tolvane {

class LogCapture : public ::testing::Test {
 protected:
  void SetUp() override { Log().AddSink(m_Sink); }
  void TearDown() override {
    Log().Flush();
    Log().SetColor(kColorNormal);
    Log().RemoveSink(m_Sink);
  }

  std::string Trace() const { return m_Sink->Text(); }

  std::shared_ptr<CaptureSink> m_Sink = std::make_shared<CaptureSink>();
};

}  // namespace tolvane
