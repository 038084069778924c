// Helpers for the image tests: a captured log and scratch files.
#pragma once

#include "../log/log_capture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace tolvane {

// Captures what the log writes while a test runs; removes its scratch files.
class LogCaptureTest : public LogCapture {
 protected:
  void TearDown() override {
    LogCapture::TearDown();
    std::error_code ignored;
    for (const auto& path : m_Files) std::filesystem::remove(path, ignored);
  }

  // Writes a scratch file that is removed after the test.
  std::string WriteScratch(const std::string& name, const std::string& content) {
    // Unique across the test processes that run at once.
    static int counter = 0;
    auto path = std::filesystem::temp_directory_path() /
                ("tolvane-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" + name);
    std::ofstream(path, std::ios::binary) << content;
    m_Files.push_back(path);
    return path.string();
  }

  std::vector<std::filesystem::path> m_Files;
};

}  // namespace tolvane
