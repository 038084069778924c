// One run on one port as both programs drive it: the file and its digest,
// the admission, the result of each kind of run with the device's identity,
// and how it ends when stopped or when the port goes away.
#include "session/device_run.h"

#include "image/hex_writer.h"
#include "log_capture.h"
#include "session/exit_codes.h"
#include "session/write_options.h"
#include "sim_fixture.h"

#include <atomic>
#include <filesystem>
#include <set>

namespace tolvane {
namespace {

class SessionTest : public test::LogCaptureTest {
 protected:
  std::string FirmwareHex() {
    const std::string path = WriteScratch("firmware.hex", "");
    EXPECT_TRUE(WriteHexFile(path, test::DeviceFirmware()));
    return path;
  }
};

RunRequest Request(RunKind kind, const FirmwareFile* file = nullptr, double captureSeconds = 0) {
  RunRequest request;
  request.Kind = kind;
  request.File = file;
  request.Options.CaptureSeconds = captureSeconds;
  return request;
}

struct StopAfter : IRunReporter {
  explicit StopAfter(int32_t blocks) : Blocks(blocks) {}
  void Progress(const RunProgress& progress) override { Last = progress; }
  bool StopRequested() override { return Blocks >= 0 && Last.Done >= Blocks; }
  int32_t Blocks;
  RunProgress Last;
};

TEST_F(SessionTest, TheFileIsLoadedOnceWithTheDigestOfItsBytes) {
  FirmwareFile abc;
  EXPECT_TRUE(LoadFirmwareFile(WriteScratch("abc.hex", "abc"), abc));
  EXPECT_EQ(abc.Sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(NoticeOf(abc.Load)->State, FileState::NothingToWrite);

  FirmwareFile missing;
  EXPECT_FALSE(LoadFirmwareFile(WriteScratch("gone.hex", "") + ".not-there", missing));
  EXPECT_TRUE(missing.Sha256.empty());
  EXPECT_EQ(NoticeOf(missing.Load)->State, FileState::Unreadable);

  FirmwareFile sound;
  EXPECT_TRUE(LoadFirmwareFile(FirmwareHex(), sound));
  EXPECT_EQ(sound.Sha256.size(), 64u);
  EXPECT_FALSE(NoticeOf(sound.Load));
  EXPECT_EQ(sound.Name().find('/'), std::string::npos);
}

TEST_F(SessionTest, AWriteIsAdmittedOnceAndAUsersNoNeedsNoMessage) {
  const WriteAdmission none = AdmitForWrite(nullptr, nullptr);
  EXPECT_FALSE(none.Admitted);
  ASSERT_TRUE(none.Refusal);
  EXPECT_EQ(none.Refusal->Caption, "ОШИБКА ЗАПИСИ");

  FirmwareFile damaged;
  LoadFirmwareFile(WriteScratch("damaged.hex", ":0104000011EB\n:00000001FF\n"), damaged);
  int asked = 0;
  const WriteAdmission no = AdmitForWrite(&damaged, [&](const std::string&) { return ++asked, false; });
  EXPECT_FALSE(no.Admitted);
  EXPECT_FALSE(no.Refusal);
  EXPECT_TRUE(AdmitForWrite(&damaged, [&](const std::string&) { return ++asked, true; }).Admitted);
  EXPECT_EQ(asked, 2);
}

// A write's result: what was sent, the comparison, who the device is.
TEST_F(SessionTest, AWritesResultSaysWhatWasDoneToWhichDevice) {
  test::OpenTestDevice device;
  FirmwareFile file;
  ASSERT_TRUE(LoadFirmwareFile(FirmwareHex(), file));
  FirmwareImage read;
  StopAfter never(-1);
  RunRequest request = Request(RunKind::Write, &file);
  request.PortLabel = "sim#1";
  const RunResult result = RunOnPort(device.Port(), request, read, never);
  EXPECT_EQ(result.Status, ProcedureStatus::Done);
  EXPECT_EQ(ExitCodeOf(result), kExitOk);
  EXPECT_EQ(result.Port, "sim#1");
  EXPECT_EQ(result.FileSha256, file.Sha256);
  EXPECT_EQ(result.Write.BlocksSent, 1024);
  EXPECT_EQ(result.Write.BlocksWritten, 1008);
  EXPECT_EQ(result.Write.ProtectedBlocks, 16);
  EXPECT_TRUE(result.Compared);
  EXPECT_EQ(result.Compare.UserMismatches, 0);
  EXPECT_GT(result.Compare.MonitorMismatches, 0);
  EXPECT_EQ(result.BlocksRead, 2054);
  EXPECT_EQ(result.Device.UniqueIdHex(), "913A075CE211408F6D2B9900137DA8C40100");
  EXPECT_EQ(result.Device.DeviceIdHex(), "6C60");
  EXPECT_EQ(result.Device.RevisionIdHex(), "A002");
  ASSERT_TRUE(result.Outcome);
  EXPECT_EQ(result.Outcome->Caption, "ИНФОРМАЦИЯ");
  EXPECT_EQ(never.Last.Done, never.Last.Total);
  EXPECT_EQ(never.Last.WireTotal, 1024 * 70 + 2054 * 37);
  EXPECT_GT(result.Seconds, 0);
}

// Stopped in the middle, stopped while capturing, a port that goes away:
// each end is its own, with the exit code the command line gives it.
TEST_F(SessionTest, RunsThatEndEarlySayHow) {
  FirmwareFile file;
  ASSERT_TRUE(LoadFirmwareFile(FirmwareHex(), file));
  FirmwareImage read;
  {
    test::OpenTestDevice device;
    StopAfter stop(100);
    const RunResult result = RunOnPort(device.Port(), Request(RunKind::Write, &file), read, stop);
    EXPECT_EQ(result.Status, ProcedureStatus::Stopped);
    EXPECT_EQ(ExitCodeOf(result), kExitInterrupted);
    EXPECT_EQ(result.Write.BlocksSent, 100);
    EXPECT_FALSE(result.Device.Known);
  }
  {
    test::OpenTestDevice device;
    StopAfter stop(0);
    const RunResult result = RunOnPort(device.Port(), Request(RunKind::Read, nullptr, 30), read, stop);
    EXPECT_TRUE(result.CaptureInterrupted);
    EXPECT_EQ(ExitCodeOf(result), kExitInterrupted);
    EXPECT_EQ(device->Stats().ReadCommands, 0);
  }
  {
    SimulatedDeviceOptions vanishing;
    vanishing.Faults = {{SimFaultKind::Vanish, 40}};
    test::OpenTestDevice device(vanishing);
    StopAfter never(-1);
    const RunResult result = RunOnPort(device.Port(), Request(RunKind::Verify, &file), read, never);
    EXPECT_TRUE(result.PortLost);
    EXPECT_EQ(ExitCodeOf(result), kExitLink);
    EXPECT_FALSE(result.Compared);
  }
  {
    // A write that read the device for its backup knows whom it wrote to,
    // however it ended; a backup that could not be written names no file.
    SimulatedDeviceOptions vanishing;
    vanishing.Faults = {{SimFaultKind::Vanish, 2 * 2054 + 100}};  // in the second write, after its reads
    test::OpenTestDevice device(vanishing);
    StopAfter never(-1);
    RunRequest request = Request(RunKind::Write, &file);
    RunResult result;
    // A folder no file can be made in, where the system has one.
    if (std::filesystem::exists("/proc/self")) {
      request.Options.BackupDir = "/proc";
      result = RunOnPort(device.Port(), request, read, never);
      EXPECT_EQ(result.Status, ProcedureStatus::Refused);
      EXPECT_EQ(result.BackupPath, "");
      EXPECT_EQ(result.Device.UniqueIdHex(), "913A075CE211408F6D2B9900137DA8C40100");
    } else {
      result = RunOnPort(device.Port(), Request(RunKind::Read), read, never);  // the same reads
    }

    request.Options.BackupDir = std::filesystem::path(WriteScratch("saved", "")).string() + ".d";
    result = RunOnPort(device.Port(), request, read, never);
    EXPECT_EQ(ExitCodeOf(result), kExitLink);
    EXPECT_TRUE(std::filesystem::exists(result.BackupPath)) << result.BackupPath;
    EXPECT_EQ(result.Device.UniqueIdHex(), "913A075CE211408F6D2B9900137DA8C40100");
    std::filesystem::remove_all(request.Options.BackupDir);
  }
}

TEST_F(SessionTest, BackupsMadeInOneSecondAreNumberedAndTheNewestAreKept) {
  const std::filesystem::path dir = std::filesystem::path(WriteScratch("backups", "")).string() + ".d";
  const FirmwareImage device = SimulatedDevice::FactoryImage(7);
  std::vector<std::string> made(3);
  for (std::string& path : made) ASSERT_TRUE(SaveBackup(dir.string(), device, 2, path, nullptr));
  std::set<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) left.insert(entry.path().string());
  EXPECT_EQ(left, (std::set<std::string>{made[1], made[2]}));
  // One number at most after the time: UID-YYYYMMDD-HHMMSS[-N].hex.
  for (const std::string& path : made) {
    const std::string name = std::filesystem::path(path).filename().string();
    EXPECT_LE(std::count(name.begin(), name.end(), '-'), 3) << name;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tolvane
