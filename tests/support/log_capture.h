// A test fixture that captures what the log writes while a test runs, leaves
// the log as it found it, and removes the scratch files it wrote.
#pragma once

#include "log_sinks.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace tolvane::test {

class LogCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override { Log().AddSink(m_Sink); }
  void TearDown() override {
    Log().Flush();
    Log().SetColor(kColorNormal);
    Log().RemoveSink(m_Sink);
    std::error_code ignored;
    for (const auto& path : m_Files) std::filesystem::remove(path, ignored);
  }

  std::string Trace() const { return m_Sink->Text(); }

  // Writes a scratch file that is removed after the test; the name is unique
  // across the test processes that run at once.
  std::string WriteScratch(const std::string& name, const std::string& content) {
    static int counter = 0;
    auto path = std::filesystem::temp_directory_path() /
                ("tolvane-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" + name);
    std::ofstream(path, std::ios::binary) << content;
    m_Files.push_back(path);
    return path.string();
  }

  std::shared_ptr<CaptureSink> m_Sink = std::make_shared<CaptureSink>();
  std::vector<std::filesystem::path> m_Files;
};

}  // namespace tolvane::test
