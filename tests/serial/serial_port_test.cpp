#include "serial/serial_port.h"
#include "log_sinks.h"

#include "log/console_log.h"
#include "serial/latency_timer.h"
#include "serial/perf_timer.h"
#include "serial/system_error.h"
#include "pty.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tolvane {
namespace {

using test::PtyPair;
namespace fs = std::filesystem;

// The port with its error fields in reach, to check how each operation
// sets and keeps them.
class TestPort : public OSerialPort {
 public:
  using OSerialPort::m_ErrorText;
  using OSerialPort::m_FrameErrors;
  using OSerialPort::m_LastError;
};

std::string OpenFailure(const std::string& name, int code) {
  return "Не могу открыть выбранный порт " + name + "\r\n" + FormatSystemError(static_cast<uint32_t>(code));
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_Pty.Ok());
    Log().AddSink(m_Log);
  }
  void TearDown() override { Log().RemoveSink(m_Log); }

  void OpenPort() { ASSERT_TRUE(m_Port.OpenDevice(m_Pty.SlavePath(), 57600)) << m_Port.m_ErrorText; }

  PtyPair m_Pty;
  TestPort m_Port;
  std::shared_ptr<test::CaptureSink> m_Log = std::make_shared<test::CaptureSink>();
};

double Seconds(const OPerfTimer& t) { return t.Elapsed(); }

TEST_F(SerialPortTest, OpensRawAt57600AndGivesTheLineBackAsItWasFound) {
  // The line as some other program left it: slow, echoing, line by line.
  struct termios found = m_Pty.SlaveSettings();
  found.c_lflag |= ECHO | ICANON;
  cfsetispeed(&found, B9600);
  cfsetospeed(&found, B9600);
  m_Pty.SetSlaveSettings(found);

  OpenPort();
  EXPECT_TRUE(m_Port.IsOpen());
  const struct termios open = m_Pty.SlaveSettings();
  EXPECT_EQ(cfgetospeed(&open), B57600);
  EXPECT_EQ(open.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(open.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(open.c_lflag & (ECHO | ICANON), 0u);
  EXPECT_NE(m_Log->Text().find("Speed = 57600\n"), std::string::npos);

  m_Port.Close();
  const struct termios back = m_Pty.SlaveSettings();
  EXPECT_EQ(cfgetospeed(&back), B9600);
  EXPECT_EQ(back.c_lflag & (ECHO | ICANON), static_cast<tcflag_t>(ECHO | ICANON));

  // Opening what is open closes it first: the same port opens again instead
  // of finding itself busy.
  EXPECT_TRUE(m_Port.OpenDevice(m_Pty.SlavePath(), 57600)) << m_Port.m_ErrorText;
  m_Port.Close();
  EXPECT_FALSE(m_Port.IsOpen());
  m_Port.Close();  // closing a closed port does nothing
  EXPECT_FALSE(m_Port.IsOpen());
}

TEST_F(SerialPortTest, RefusesWhatIsNotThereOrNotASerialPort) {
  EXPECT_FALSE(m_Port.OpenDevice("/dev/ttyNoSuchPort7", 57600));
  EXPECT_FALSE(m_Port.IsOpen());
  EXPECT_EQ(m_Port.m_ErrorText, OpenFailure("/dev/ttyNoSuchPort7", ENOENT));

  const std::string notSerial = "\r\nЭто не последовательный порт";
  fs::path dir = fs::temp_directory_path() / ("tolvane_port_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::path file = dir / "firmware.hex";
  { std::ofstream(file) << ":00000001FF\n"; }
  fs::file_time_type before = fs::last_write_time(file);
  EXPECT_FALSE(m_Port.OpenDevice(file.string(), 57600));
  EXPECT_EQ(m_Port.m_ErrorText, "Не могу открыть выбранный порт " + file.string() + notSerial);
  m_Port.Write(reinterpret_cast<const uint8_t*>("xx"), 2);
  std::ifstream in(file);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, ":00000001FF\n");
  EXPECT_EQ(fs::last_write_time(file), before);

  EXPECT_FALSE(m_Port.OpenDevice(dir.string(), 57600));
  EXPECT_EQ(m_Port.m_ErrorText, "Не могу открыть выбранный порт " + dir.string() + notSerial);
  EXPECT_FALSE(m_Port.OpenDevice("/dev/null", 57600));
  EXPECT_EQ(m_Port.m_ErrorText, "Не могу открыть выбранный порт /dev/null" + notSerial);
  EXPECT_FALSE(m_Port.IsOpen());
  fs::remove_all(dir);
}

TEST_F(SerialPortTest, RefusesASpeedTheLineCannotRun) {
  EXPECT_FALSE(m_Port.OpenDevice(m_Pty.SlavePath(), 12345));
  EXPECT_FALSE(m_Port.IsOpen());
  EXPECT_EQ(m_Port.m_ErrorText, "Не могу установить для порта требуемый режим (скорость 12345  бод) !");
}

TEST_F(SerialPortTest, APortHeldElsewhereIsBusyAndTheErrorTextSurvivesSuccess) {
  OpenPort();
  TestPort second;
  EXPECT_FALSE(second.OpenDevice(m_Pty.SlavePath(), 57600));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(second.m_ErrorText, OpenFailure(m_Pty.SlavePath(), EBUSY));

  m_Port.Close();
  std::string failure = second.m_ErrorText;
  EXPECT_TRUE(second.OpenDevice(m_Pty.SlavePath(), 57600));
  EXPECT_EQ(second.m_ErrorText, failure);
}

TEST_F(SerialPortTest, NoWaitReadReturnsAtOnceWithWhatIsThere) {
  OpenPort();
  uint8_t buf[64];
  int32_t got = -1;
  OPerfTimer timer;
  EXPECT_TRUE(m_Port.Read(buf, sizeof buf, got));
  EXPECT_EQ(got, 0);
  EXPECT_LT(Seconds(timer), 0.1);

  m_Pty.Send({1, 2, 3, 4, 5});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  timer.Restart();
  EXPECT_TRUE(m_Port.Read(buf, 3, got));
  EXPECT_EQ(got, 3);
  EXPECT_TRUE(m_Port.Read(buf + 3, sizeof buf - 3, got));
  EXPECT_EQ(got, 2);
  EXPECT_LT(Seconds(timer), 0.1);
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 5), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST_F(SerialPortTest, WaitingReadGathersExactlyTheCountAcrossSeveralWrites) {
  OpenPort();
  std::thread peer([this] {
    for (uint8_t chunk = 0; chunk < 4; ++chunk) {
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
      m_Pty.Send(std::vector<uint8_t>(10, chunk));
    }
  });
  uint8_t buf[64] = {};
  int32_t got = 0;
  EXPECT_TRUE(m_Port.ReadTimed(buf, 33, got, 2000));
  peer.join();
  EXPECT_EQ(got, 33);
  EXPECT_EQ(buf[9], 0);
  EXPECT_EQ(buf[10], 1);
  EXPECT_EQ(buf[32], 3);
  // The rest stays for the next read.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(m_Port.Read(buf, sizeof buf, got));
  EXPECT_EQ(got, 7);
}

TEST_F(SerialPortTest, WaitingReadWithNothingComingGivesUpAfterAboutOneSecond) {
  OpenPort();
  uint8_t buf[8];
  int32_t got = -1;
  m_Port.m_LastError = 77;
  OPerfTimer timer;
  EXPECT_TRUE(m_Port.ReadTimed(buf, 8, got, 300));
  double waited = Seconds(timer);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(m_Port.m_LastError, 0u);
  EXPECT_GT(waited, 0.9);
  EXPECT_LT(waited, 1.6);

  // A count of zero is done after one call.
  timer.Restart();
  EXPECT_TRUE(m_Port.ReadTimed(buf, 0, got, 300));
  EXPECT_EQ(got, 0);
  EXPECT_LT(Seconds(timer), 0.1);
}

TEST_F(SerialPortTest, AShortWaitingReadCallsAgainUntilItsTimeoutHasPassed) {
  OpenPort();
  std::thread peer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    m_Pty.Send({0xAA});
  });
  uint8_t buf[4];
  int32_t got = 0;
  OPerfTimer timer;
  // The first call ends at its 1000 ms total with one byte; the time-out has
  // not passed, so a second call waits its own second and ends empty.
  EXPECT_TRUE(m_Port.ReadTimed(buf, 4, got, 1500));
  double waited = Seconds(timer);
  peer.join();
  EXPECT_EQ(got, 1);
  EXPECT_EQ(buf[0], 0xAA);
  EXPECT_GT(waited, 1.9);
  EXPECT_LT(waited, 2.6);
}

TEST_F(SerialPortTest, ANoWaitReadAfterAWaitingOneReturnsAtOnceAgain) {
  OpenPort();
  uint8_t buf[4];
  int32_t got = 0;
  m_Port.ReadTimed(buf, 1, got, 100);
  m_Port.Read(buf, 4, got);
  OPerfTimer timer;
  EXPECT_TRUE(m_Port.Read(buf, 4, got));
  EXPECT_EQ(got, 0);
  EXPECT_LT(Seconds(timer), 0.1);
}

TEST_F(SerialPortTest, ANoWaitReadTakesAllThatWaitsUpToItsCount) {
  OpenPort();
  // More than one read() of a terminal gives (about 4 KiB).
  std::vector<uint8_t> chatter(12000);
  for (size_t i = 0; i < chatter.size(); ++i) chatter[i] = static_cast<uint8_t>(i % 251);
  // The line holds only part of it until the port reads: the sender may wait.
  std::thread peer([&] { m_Pty.Send(chatter); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::vector<uint8_t> buf(16384);
  int32_t got = 0;
  EXPECT_TRUE(m_Port.Read(buf.data(), 5000, got));
  EXPECT_EQ(got, 5000);
  int32_t rest = 0;
  EXPECT_TRUE(m_Port.Read(buf.data() + got, 16384 - got, rest));
  peer.join();
  EXPECT_EQ(got + rest, 12000);
  EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 12000), chatter);
}

TEST_F(SerialPortTest, AWriteTheLineDoesNotTakeEndsAtAStopAndIsReported) {
  std::atomic<bool> stop{false};
  m_Port.SetStopFlag(&stop);
  OpenPort();
  // Nobody reads the master: the line fills up and the write blocks.
  std::thread asker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop = true;
  });
  const std::vector<uint8_t> flood(1 << 20, 0xCD);
  OPerfTimer timer;
  EXPECT_FALSE(m_Port.Write(flood.data(), static_cast<int32_t>(flood.size())));
  const double waited = Seconds(timer);
  asker.join();
  EXPECT_LT(waited, 1.0);
  EXPECT_EQ(m_Port.m_LastError, static_cast<uint32_t>(EINTR));
  EXPECT_NE(m_Log->Text().find("Не удалось передать данные в порт: "), std::string::npos) << m_Log->Text();
  // The write said so itself; the code stays for the receive tick, which a
  // read that works does not clear.
  uint8_t buf[4];
  int32_t got = 0;
  EXPECT_TRUE(m_Port.Read(buf, 4, got));
  EXPECT_EQ(m_Port.m_LastError, static_cast<uint32_t>(EINTR));
}

TEST(OwnTerminalTest, TheProgramsOwnTerminalAndPseudoTerminalMastersAreNoPorts) {
  TestPort port;
  EXPECT_FALSE(port.OpenDevice("/dev/ptmx", kDefaultBaud));
  EXPECT_EQ(port.m_ErrorText, "Не могу открыть выбранный порт /dev/ptmx\r\nЭто не последовательный порт");
  EXPECT_FALSE(port.OpenDevice("/dev/tty", kDefaultBaud));
  EXPECT_EQ(port.m_ErrorText,
            "Не могу открыть выбранный порт /dev/tty\r\nЭто терминал самой программы, а не порт устройства");

  // A process whose controlling terminal is a pseudo-terminal refuses it by
  // its own name too, and leaves it as it was.
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    const int ctty = open(pty.SlavePath().c_str(), O_RDWR);  // becomes the controlling terminal
    if (ctty < 0) _exit(2);
    const struct termios before = pty.SlaveSettings();
    TestPort own;
    const bool refused = !own.OpenDevice(pty.SlavePath(), kDefaultBaud) &&
                         own.m_ErrorText.find("Это терминал самой программы") != std::string::npos;
    const struct termios after = pty.SlaveSettings();
    _exit(refused && cfgetospeed(&before) == cfgetospeed(&after) && before.c_lflag == after.c_lflag ? 0 : 1);
  }
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(OpenFailureAdviceTest, APortWithoutPermissionSaysWhichGroupToJoin) {
  // /dev/null belongs to the group root everywhere.
  EXPECT_EQ(OpenFailureAdvice("/dev/null", EACCES),
            "Порт принадлежит группе root. Добавьте себя в неё: sudo usermod -aG root $USER, затем войдите в "
            "систему заново.");
  EXPECT_EQ(OpenFailureAdvice("/dev/null", ENOENT), "");
  EXPECT_EQ(OpenFailureAdvice("/dev/null", EBUSY), "");
}

TEST(OneLineTest, JoinsTheLinesOfAMessage) {
  EXPECT_EQ(OneLine("Не могу открыть выбранный порт COM9\r\nFile not found.\r\n"),
            "Не могу открыть выбранный порт COM9: File not found.");
  EXPECT_EQ(OneLine("one\n\n  \ntwo \r\n"), "one: two");
  EXPECT_EQ(OneLine(""), "");
}

TEST_F(SerialPortTest, AClosedPortReadsNothingAndWritesNothing) {
  uint8_t buf[4];
  int32_t got = 9;
  m_Port.m_LastError = 5;
  EXPECT_FALSE(m_Port.Read(buf, 4, got));
  EXPECT_EQ(got, 0);
  EXPECT_EQ(m_Port.m_LastError, 0u);
  got = 9;
  EXPECT_FALSE(m_Port.ReadTimed(buf, 4, got, 100));
  EXPECT_EQ(got, 0);
  m_Port.Write(buf, 4);
  m_Port.m_FrameErrors = 3;
  EXPECT_FALSE(m_Port.ClearLineErrors());
  EXPECT_EQ(m_Port.m_FrameErrors, 3);
  EXPECT_EQ(m_Port.PendingOutput(), 0);
}

TEST_F(SerialPortTest, WritesReachThePeerAndLineErrorsAreAnswered) {
  OpenPort();
  m_Port.m_FrameErrors = 4;
  ASSERT_TRUE(m_Port.OpenDevice(m_Pty.SlavePath(), 57600));
  EXPECT_EQ(m_Port.m_FrameErrors, 0);  // counted afresh for each open
  const uint8_t frame[] = {0xCD, 0xE6, 0x00, 0x04, 0x00};
  m_Port.Write(frame, sizeof frame);
  EXPECT_EQ(m_Pty.Receive(5), std::vector<uint8_t>(frame, frame + 5));
  EXPECT_EQ(m_Port.PendingOutput(), 0);
  // A pseudo-terminal keeps no error counters: the call succeeds, counts nothing.
  EXPECT_TRUE(m_Port.ClearLineErrors());
  EXPECT_EQ(m_Port.m_FrameErrors, 0);
}

TEST_F(SerialPortTest, AVanishedDeviceFailsTheReadWithTheSystemCode) {
  OpenPort();
  m_Pty.CloseMaster();
  uint8_t buf[4];
  int32_t got = 0;
  EXPECT_FALSE(m_Port.ReadTimed(buf, 4, got, 300));
  EXPECT_EQ(m_Port.m_LastError, static_cast<uint32_t>(EIO));
  EXPECT_NE(FormatSystemError(m_Port.m_LastError), "?");
  // The no-wait read fails the same way; the code stays until a waiting read
  // or a closed port resets it.
  m_Port.m_LastError = 0;
  EXPECT_FALSE(m_Port.Read(buf, 4, got));
  EXPECT_EQ(m_Port.m_LastError, static_cast<uint32_t>(EIO));
  EXPECT_TRUE(m_Port.IsOpen());  // the caller decides to close

  // Capture bursts go on writing to the dead line a thousand times a second:
  // the trace says so once per kind of failure, not once per write.
  m_Log->Clear();
  const uint8_t burst[8] = {0xCD, 0xCD, 0xCD, 0xCD, 0xCD, 0xCD, 0xCD, 0xCD};
  for (int i = 0; i < 100; ++i) m_Port.Write(burst, 8);
  size_t lines = 0;
  for (size_t at = 0; (at = m_Log->Text().find("Не удалось передать данные в порт: ", at)) != std::string::npos; ++at)
    ++lines;
  EXPECT_EQ(lines, 1u) << m_Log->Text();

  // Opened again (the adapter is back), the port starts clean: the old
  // line's code would be taken for a new loss at once, over and over.
  PtyPair again;
  ASSERT_TRUE(m_Port.OpenDevice(again.SlavePath(), 57600)) << m_Port.m_ErrorText;
  EXPECT_EQ(m_Port.m_LastError, 0u);
  EXPECT_TRUE(m_Port.Read(buf, 4, got));
  EXPECT_EQ(m_Port.m_LastError, 0u);
}

TEST_F(SerialPortTest, ASuccessfulReadKeepsAnEarlierErrorCode) {
  OpenPort();
  m_Port.m_LastError = 5;
  uint8_t buf[4];
  int32_t got = 0;
  EXPECT_TRUE(m_Port.Read(buf, 4, got));
  EXPECT_EQ(m_Port.m_LastError, 5u);
}

TEST(SystemErrorTest, GivesTheSystemTextOrAQuestionMark) {
  EXPECT_EQ(FormatSystemError(ENOENT), "No such file or directory");
  EXPECT_EQ(FormatSystemError(987654), "?");
  EXPECT_EQ(FormatSystemError(0), "?");
}

TEST(LatencyTimerTest, ReadsTheTimerAndAdvisesOnlyAboveOneMillisecond) {
  fs::path dir = fs::temp_directory_path() / ("tolvane_latency_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  EXPECT_FALSE(ReadLatencyTimer(dir.string()).has_value());
  { std::ofstream(dir / "latency_timer") << "16\n"; }
  EXPECT_EQ(ReadLatencyTimer(dir.string()), 16);
  fs::remove_all(dir);

  std::string advice = LatencyAdvice("/dev/ttyUSB0", 16);
  EXPECT_NE(advice.find("16 мс"), std::string::npos);
  EXPECT_NE(advice.find("/sys/bus/usb-serial/devices/ttyUSB0/latency_timer"), std::string::npos);
  EXPECT_EQ(advice.back(), '\n');
  EXPECT_EQ(LatencyAdvice("/dev/ttyUSB0", 1), "");
}

TEST(PerfTimerTest, TwoLapsAddUpToTheWholeInterval) {
  OPerfTimer whole;
  OPerfTimer laps;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  double first = laps.Lap();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  double second = laps.Lap();
  double total = whole.Elapsed();
  EXPECT_GE(first, 0.019);
  EXPECT_GE(second, 0.019);
  EXPECT_NEAR(first + second, total, 0.002);
}

}  // namespace
}  // namespace tolvane
