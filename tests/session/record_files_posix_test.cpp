// Record files where the system has pipes and devices in its file tree.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "log_capture.h"
#include "session/device_record.h"

namespace tolvane {
namespace {

class RecordFilesTest : public test::LogCaptureTest {};

// What is no regular file is refused, never opened: a pipe would hold the
// open until a reader came, a device would never end the first line.
TEST_F(RecordFilesTest, WhatIsNoRegularFileIsRefusedUnopened) {
  const std::string pipe = WriteScratch("pipe.csv", "");
  std::filesystem::remove(pipe);
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string full = WriteScratch("full.jsonl", "");
  std::filesystem::remove(full);
  std::filesystem::create_symlink("/dev/full", full);
  const DeviceRecord record;
  std::string error;
  for (const std::string& name : {pipe, full}) {
    EXPECT_FALSE(AppendRecord(name, record, &error)) << name;
    EXPECT_NE(error.find(" is no regular file"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace tolvane
