// The device commands as a user runs them: exit codes, what they print, and
// that they end (at a fault, at Ctrl-C) instead of hanging.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include <nlohmann/json.hpp>

#include "image/hex_reader.h"
#include "image/hex_writer.h"
#include "cli_process.h"
#include "sim/simulated_device.h"
#include "device_commands_fixture.h"
#include "sim_fixture.h"

namespace tolvane {
namespace {

using test::CliProcess;
using test::CliRun;
using test::RunCli;

TEST_F(DeviceCommandsTest, WriteToTheBuiltInDevice) {
  CliRun run = RunCli({"write", m_Hex, "--port", "sim:fast"});
  EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  EXPECT_TRUE(Has(run.Out,
                  "ИНФОРМАЦИЯ\nНесовпадения есть только в области монитора, но это ерунда!\n"
                  "Не совпадения выделены синим цветом\n"))
      << run.Out;
  EXPECT_TRUE(Has(run.Out, "blocks sent: 1024, protected: 16")) << run.Out;
  EXPECT_TRUE(Has(run.Out, "monitor area (not written): ")) << run.Out;
  EXPECT_LT(run.Seconds, 10);
}

TEST_F(DeviceCommandsTest, FilesThatAreNotWritten) {
  CliRun missing = RunCli({"write", (m_Dir / "none.hex").string(), "--port", "sim:fast"});
  EXPECT_EQ(missing.ExitCode, 4);
  EXPECT_TRUE(Has(missing.Err, "cannot read")) << missing.Err;

  // A record with a broken checksum makes the file suspect.
  const std::string damaged = (m_Dir / "damaged.hex").string();
  {
    std::ofstream out(damaged);
    out << ":10040000000102030405060708090A0B0C0D0E0F00\n:00000001FF\n";
  }
  CliRun refused = RunCli({"write", damaged, "--port", "/dev/null-no-such-port"});
  EXPECT_EQ(refused.ExitCode, 4) << refused.Out << refused.Err;  // refused before the port is opened
  EXPECT_TRUE(Has(refused.Out, "ОШИБКА ЗАПИСИ\nHEX-файл вызывает сомнения: повреждённых записей 1, первая в строке 1"))
      << refused.Out;
  EXPECT_TRUE(Has(refused.Out, "Запись не начата, прошивка в модуле не изменена.")) << refused.Out;
  EXPECT_TRUE(Has(refused.Err, "Записать его в модуль всё равно?")) << refused.Err;

  CliRun forced = RunCli({"write", damaged, "--port", "sim:fast", "--force"});
  EXPECT_NE(forced.ExitCode, 4) << forced.Out << forced.Err;
  EXPECT_TRUE(Has(forced.Out, "blocks sent: 1024")) << forced.Out;

  // A file without program data would erase the device: refused before the
  // port is opened, --force or not.
  const std::string notes = (m_Dir / "notes.txt").string();
  std::ofstream(notes) << "firmware 2.1, see the hex file\n";
  for (const char* port : {"/dev/null-no-such-port", "sim:fast"}) {
    CliRun nothing = RunCli({"write", notes, "--port", port, "--force"});
    EXPECT_EQ(nothing.ExitCode, 4) << nothing.Out << nothing.Err;
    EXPECT_TRUE(Has(nothing.Out, "В HEX-файле нет данных программы!")) << nothing.Out;
    EXPECT_FALSE(Has(nothing.Out, "blocks sent")) << nothing.Out;
  }
}

TEST_F(DeviceCommandsTest, NumbersThatAreNotFiniteOrTooLargeAreUsageErrors) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"capture", "--port", "sim", "--seconds", "nan"},
                                               {"capture", "--port", "sim", "--seconds", "inf"},
                                               {"read", "--port", "sim", "--capture", "nan"},
                                               {"sim", "--program-ms", "3000000"},
                                               {"sim", "--program-ms", "nan"}}) {
    CliRun run = CliProcess(args).Wait(std::chrono::seconds(10));
    EXPECT_EQ(run.ExitCode, 2) << args[0] << " " << args.back() << run.Out << run.Err;
  }
}

TEST_F(DeviceCommandsTest, PortsThatCannotBeUsed) {
  CliRun run = RunCli({"read", "--port", "/dev/no-such-port"});
  EXPECT_EQ(run.ExitCode, 3);
  EXPECT_TRUE(Has(run.Out, "cannot open the port: Не могу открыть выбранный порт /dev/no-such-port")) << run.Out;

  // Several ports: one line each and the worst code.
  CliRun several = RunCli({"write", m_Hex, "--port", "sim:fast", "--port", "/dev/no-such-port"});
  EXPECT_EQ(several.ExitCode, 3);
  EXPECT_TRUE(Has(several.Out, "sim:fast: ИНФОРМАЦИЯ, exit 0")) << several.Out;
  EXPECT_TRUE(Has(several.Out, "/dev/no-such-port: FAILED, exit 3")) << several.Out;

  EXPECT_EQ(RunCli({"read", "--port", "sim", "--port", "sim", "--dump"}).ExitCode, 2);
}

TEST_F(DeviceCommandsTest, VerifyTellsWhereTheDeviceDiffers) {
  test::TestDevice same(Programmed());
  ASSERT_TRUE(same.Started());
  CliRun equal = RunCli({"verify", m_Hex, "--port", same.Path()});
  EXPECT_EQ(equal.ExitCode, 0) << equal.Out << equal.Err;
  // The file leaves the monitor area empty: that difference alone is no error.
  EXPECT_TRUE(Has(equal.Out, "ИНФОРМАЦИЯ\nНесовпадения есть только в области монитора")) << equal.Out;
  EXPECT_FALSE(Has(equal.Out, "user area")) << equal.Out;

  FirmwareImage changed = same->Memory();
  changed[0x1234] ^= 0x01;
  changed[0x1235] ^= 0x01;
  same->SetMemory(changed);
  CliRun differs = RunCli({"verify", m_Hex, "--port", same.Path()});
  EXPECT_EQ(differs.ExitCode, 1);
  EXPECT_TRUE(Has(differs.Out, "ОШИБКА ВЕРИФИКАЦИИ\nДанные пользователя не совпадают!\n")) << differs.Out;
  EXPECT_TRUE(Has(differs.Out, "user area: 2 bytes differ, the first at 0x1234")) << differs.Out;
}

TEST_F(DeviceCommandsTest, FaultsEndWithALinkFailure) {
  struct Case {
    const char* Command;
    SimFaultKind Kind;
    int32_t At;
    const char* Caption;
  };
  // A line that goes away (an adapter pulled out) is a lost port, not a
  // device that does not answer.
  for (const Case& c :
       {Case{"read", SimFaultKind::NoAnswer, 3, "ОШИБКА ЧТЕНИЯ"},
        Case{"verify", SimFaultKind::Vanish, 100, "ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ"},
        Case{"write", SimFaultKind::Vanish, 20, "ОШИБКА ПРИ РАБОТЕ С COM-ПОРТОМ\nСвязь с портом потеряна: "},
        Case{"write", SimFaultKind::WrongAnswer, 20, "ОШИБКА ЗАПИСИ"},
        Case{"write", SimFaultKind::ShortReply, 1100, "ОШИБКА ЧТЕНИЯ"}}) {
    SimulatedDeviceOptions options;
    options.Faults = {{c.Kind, c.At}};
    test::TestDevice device(options);
    ASSERT_TRUE(device.Started());
    std::vector<std::string> args{c.Command};
    if (std::string(c.Command) != "read") args.push_back(m_Hex);
    args.insert(args.end(), {"--port", device.Path()});
    CliRun run = RunCli(args);
    EXPECT_EQ(run.ExitCode, 3) << c.Command << " " << c.At << "\n" << run.Out << run.Err;
    EXPECT_TRUE(Has(run.Out, std::string(c.Caption))) << run.Out;
    EXPECT_FALSE(Has(run.Out, "нет ответа")) << run.Out;
    EXPECT_LT(run.Seconds, 5);
  }
}

TEST_F(DeviceCommandsTest, ReadSavesWhatTheDeviceHolds) {
  test::TestDevice device(Programmed());
  ASSERT_TRUE(device.Started());
  const std::string raw = (m_Dir / "read.bin").string();
  CliRun run = RunCli({"read", "--port", device.Path(), "-o", raw});
  EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  std::ifstream in(raw, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), static_cast<size_t>(kImageSize));
  const FirmwareImage memory = device->Memory();
  for (int32_t i = 0; i < kFlashSize; ++i)
    ASSERT_EQ(static_cast<uint8_t>(bytes[static_cast<size_t>(i)]), memory[i]) << i;
}

// Outputs and the log file are checked before the device is touched; what is
// written holds only what was read; a trace that is lost is said.
TEST_F(DeviceCommandsTest, OutputsAndTheTraceFile) {
  for (const char* name : {"read.txt", "read.BIN.old", "read"}) {
    CliRun run = RunCli({"read", "--port", "/dev/no-such-port", "-o", (m_Dir / name).string()});
    EXPECT_EQ(run.ExitCode, 2) << name << run.Out << run.Err;  // not 3: the port was never opened
    EXPECT_TRUE(Has(run.Err, "must end in .hex (Intel HEX) or .bin")) << run.Err;
  }
  CliRun log = RunCli({"verify", m_Hex, "--port", "/dev/no-such-port", "--log", m_Hex});
  EXPECT_EQ(log.ExitCode, 2) << log.Err;
  const std::string saved = (m_Dir / "read.HEX").string();
  EXPECT_EQ(RunCli({"read", "--port", "/dev/no-such-port", "-o", saved, "--log", saved}).ExitCode, 2);

  // An output or a log that is no file is refused, never opened: a pipe
  // would hold the command in its open, a device take the text without end.
  // An empty name (an unset shell variable) names nothing.
  const std::string pipe = (m_Dir / "pipe.hex").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-o", pipe},
                                               {"--log", pipe},
                                               {"--log", "/dev/full"},
                                               {"--log", m_Dir.string()},
                                               {"-o", ""},
                                               {"--log", ""}}) {
    std::vector<std::string> read{"read", "--port", "/dev/no-such-port"};
    read.insert(read.end(), args.begin(), args.end());
    CliRun refused = CliProcess(read).Wait(std::chrono::seconds(10));
    EXPECT_EQ(refused.ExitCode, 2) << args[0] << " " << args[1] << refused.Out << refused.Err;
    EXPECT_TRUE(Has(refused.Err, "is no regular file") || Has(refused.Err, "is a folder") ||
                Has(refused.Err, "an empty value names nothing"))
        << refused.Err;
  }

  test::TestDevice device(Programmed());
  ASSERT_TRUE(device.Started());
  CliRun full = RunCli({"read", "--port", device.Path(), "-o", saved});
  EXPECT_EQ(full.ExitCode, 0) << full.Out << full.Err;
  // A log on a disk that fills up: the trace lost is said.
  const std::string trace = (m_Dir / "trace.log").string();
  std::ofstream(trace) << std::string(4096, '.');
  CliRun lost = CliProcess({"read", "--port", device.Path(), "--log", trace}, 4096).Wait();
  EXPECT_EQ(lost.ExitCode, 0) << lost.Err;
  EXPECT_TRUE(Has(lost.Err, "the trace could not be written to " + trace + ": File too large")) << lost.Err;
  // One read block per region: the information area's second half is not read, so not written.
  FirmwareImage back;
  LoadHexFile(saved, back);
  EXPECT_EQ(back.Slot(2)[31], device->Memory().Slot(2)[31]);
  std::ifstream text(saved);
  const std::string content((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(Has(content, ":10002000")) << "bytes 0x3F0020.. were never read";

  FirmwareImage changed = device->Memory();
  changed[0x2000] ^= 0x01;
  device->SetMemory(changed);
  CliRun one = RunCli({"verify", m_Hex, "--port", device.Path()});
  EXPECT_TRUE(Has(one.Out, "user area: 1 byte differs, the first at 0x2000")) << one.Out;

  // The simulated device's own file follows the same rule.
  EXPECT_EQ(RunCli({"sim", "--save", (m_Dir / "mem.img").string()}).ExitCode, 2);
}

TEST_F(DeviceCommandsTest, RunStartsTheFirmware) {
  test::TestDevice device;
  ASSERT_TRUE(device.Started());
  CliRun run = RunCli({"run", "--port", device.Path()});
  EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  for (int i = 0; i < 100 && device->State() != SimState::Firmware; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(device->State(), SimState::Firmware);
}

// The line as another program (the device, socat) finds it again: its speed
// and no exclusive hold.
struct LineState {
  speed_t Speed = 0;
  int Exclusive = -1;
};
LineState LineStateOf(const std::string& path) {
  LineState state;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios tio{};
  if (fd >= 0 && tcgetattr(fd, &tio) == 0) state.Speed = cfgetospeed(&tio);
  if (fd >= 0) ioctl(fd, TIOCGEXCL, &state.Exclusive);
  if (fd >= 0) close(fd);
  return state;
}

// Ctrl-C, SIGTERM as `timeout` sends it and SIGHUP as a closing terminal
// sends it stop between two blocks; a second one ends the program at once,
// the first delivered twice does not. On every end the port is given back as
// it was found.
TEST_F(DeviceCommandsTest, CtrlCAndTerminationStopBetweenBlocks) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SimulatedDeviceOptions slow;
    slow.BaudRate = 57600;
    test::TestDevice device(slow);
    ASSERT_TRUE(device.Started());
    const LineState found = LineStateOf(device.Path());
    CliProcess write({"write", m_Hex, "--port", device.Path()});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    write.Signal(signal);
    CliRun run = write.Wait(std::chrono::seconds(10));
    EXPECT_EQ(run.ExitCode, 5) << signal << run.Out << run.Err;
    EXPECT_TRUE(Has(run.Out, "ЗАПИСЬ ПРЕРВАНА\nЗапись прервана! Записано блоков: ")) << run.Out;
    EXPECT_TRUE(Has(run.Out, "Монитор в модуле сохранён")) << run.Out;
    EXPECT_LT(device->Stats().WriteCommands, 1024);
    EXPECT_GT(device->Stats().WriteCommands, 0);
    const LineState after = LineStateOf(device.Path());
    EXPECT_EQ(after.Speed, found.Speed) << signal;
    EXPECT_EQ(after.Exclusive, 0) << signal;
  }
  {
    // A second one, while the first command waits for its reply, is not
    // waited for; the port still goes back. The program is held stopped
    // so that the second comes well after the first.
    SimulatedDeviceOptions silent;
    silent.Faults = {{SimFaultKind::NoAnswer, 1}};
    test::TestDevice device(silent);
    ASSERT_TRUE(device.Started());
    const LineState found = LineStateOf(device.Path());
    CliProcess read({"read", "--port", device.Path()});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    read.Signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    read.Signal(SIGSTOP);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    read.Signal(SIGINT);
    read.Signal(SIGCONT);
    EXPECT_EQ(read.Wait(std::chrono::seconds(10)).ExitCode, -1);
    const LineState after = LineStateOf(device.Path());
    EXPECT_EQ(after.Speed, found.Speed);
    EXPECT_EQ(after.Exclusive, 0);
  }
  // `timeout` signals the program and then its process group: one request
  // that arrives twice at once stops between blocks as a single one does.
  for (const auto& [first, again] : {std::pair{SIGTERM, SIGHUP}, std::pair{SIGTERM, SIGTERM}}) {
    CliProcess read({"read", "--port", "sim"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    read.Signal(first);
    read.Signal(again);
    CliRun run = read.Wait(std::chrono::seconds(10));
    EXPECT_EQ(run.ExitCode, 5) << again << run.Out << run.Err;
    EXPECT_TRUE(Has(run.Out, "ЧТЕНИЕ ПРЕРВАНО\nЧтение прервано! Считано блоков: ")) << run.Out;
  }

  // A reader that goes away: the writes to it fail, the program ends itself
  // (an output error) and the port goes back.
  test::TestDevice device;
  ASSERT_TRUE(device.Started());
  const std::string command = "bash -c '" + std::string(TOLVANE_CLI_PATH) + " read --port " + device.Path() +
                              " --dump 2>/dev/null | head -c 10 >/dev/null; exit ${PIPESTATUS[0]}'";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 4);
  EXPECT_EQ(LineStateOf(device.Path()).Exclusive, 0);

  // Stopped while capturing: the bursts went out, no command did.
  CliProcess capturing({"read", "--port", "sim:fast", "--capture", "30"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  capturing.Signal(SIGINT);
  CliRun run = capturing.Wait(std::chrono::seconds(10));
  EXPECT_EQ(run.ExitCode, 5) << run.Out << run.Err;
  EXPECT_TRUE(Has(run.Out, "interrupted while capturing: only capture bursts (0xCD) were sent, no command")) << run.Out;
}

TEST_F(DeviceCommandsTest, CaptureCatchesADeviceThatIsSwitchedOn) {
  // The device enters its monitor only when capture bursts meet it at power-on.
  SimulatedDeviceOptions options;
  options.RequireCapture = true;
  options.PowerOnAfterMs = 300;
  test::TestDevice late(options);
  ASSERT_TRUE(late.Started());
  CliRun missed = RunCli({"read", "--port", late.Path()});
  EXPECT_EQ(missed.ExitCode, 3) << missed.Out;

  test::TestDevice caught(options);
  ASSERT_TRUE(caught.Started());
  CliRun run = RunCli({"read", "--port", caught.Path(), "--capture", "0.8", "-v"});
  EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  EXPECT_EQ(caught->Stats().ReadCommands, 2054);

  // The capture command traces what a device running its firmware says.
  SimulatedDeviceOptions chatty;
  chatty.ChatterPeriodMs = 100;
  test::TestDevice talking(chatty);
  ASSERT_TRUE(talking.Started());
  ASSERT_EQ(RunCli({"run", "--port", talking.Path()}).ExitCode, 0);
  CliRun capture = RunCli({"capture", "--port", talking.Path(), "--seconds", "1.3"});
  EXPECT_EQ(capture.ExitCode, 0) << capture.Err;
  EXPECT_TRUE(Has(capture.Err, "Принято 24 байт: 74, 6f, 6c, 76")) << capture.Err;
  EXPECT_TRUE(Has(capture.Err, talking.Path() + ": ")) << capture.Err;
  EXPECT_TRUE(Has(capture.Err, " байт/с")) << capture.Err;
}

// Every --json run prints one document, also when the command ends before
// any device's result: then its error and exit code.
TEST_F(DeviceCommandsTest, EveryJsonRunPrintsOneDocument) {
  struct Case {
    std::vector<std::string> Args;
    int ExitCode;
    const char* Error;
  };
  std::ofstream(m_Dir / "empty.hex") << ":00000001FF\n";
  for (const Case& c : {Case{{"write", m_Hex, "--port", "sim:fast", "--keep", "0x100:16"}, 2, "monitor's area"},
                        Case{{"read", "--port", "sim:fast", "--baud", "1"}, 2, "--baud"},
                        Case{{"verify", (m_Dir / "none.hex").string(), "--port", "sim:fast"}, 4, "cannot read"},
                        Case{{"load", (m_Dir / "none.hex").string()}, 4, "cannot read"},
                        Case{{"station", m_Hex, "--port", "/dev/no-such-port"}, 3, "/dev/no-such-port"},
                        Case{{"write", (m_Dir / "empty.hex").string(), "--port", "sim:fast"}, 4, "ОШИБКА ЗАПИСИ"}}) {
    std::vector<std::string> args = c.Args;
    args.push_back("--json");
    CliRun run = RunCli(args);
    EXPECT_EQ(run.ExitCode, c.ExitCode) << args[0] << run.Err;
    const nlohmann::json document = nlohmann::json::parse(run.Out, nullptr, false);
    ASSERT_TRUE(document.is_object()) << args[0] << ": " << run.Out;
    EXPECT_EQ(document["exit_code"], c.ExitCode);
    EXPECT_TRUE(Has(document["error"].get<std::string>(), c.Error)) << document.dump();
  }
  // A port that cannot be opened still has a record of when, with which file.
  CliRun run = RunCli({"write", m_Hex, "--port", "/dev/no-such-port", "--json"});
  const nlohmann::json records = nlohmann::json::parse(run.Out, nullptr, false);
  ASSERT_TRUE(records.is_array() && records.size() == 1) << run.Out;
  EXPECT_EQ(records[0]["file"], std::filesystem::path(m_Hex).filename().string());
  EXPECT_EQ(records[0]["sha256"].get<std::string>().size(), 64u);
  EXPECT_FALSE(Has(records[0]["time"].get<std::string>(), "1970")) << records[0]["time"];
}

TEST_F(DeviceCommandsTest, FourDevicesAtOnce) {
  CliRun run =
      RunCli({"write", m_Hex, "--port", "sim:fast", "--port", "sim:fast", "--port", "sim:fast", "--port", "sim:fast"});
  EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  // One line for each, the four told apart.
  for (int k = 1; k <= 4; ++k)
    EXPECT_TRUE(Has(run.Out, "\nsim:fast#" + std::to_string(k) + ": ИНФОРМАЦИЯ, exit 0, ")) << run.Out;
}

}  // namespace
}  // namespace tolvane
