#include "app/quit_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include "serial/serial_port.h"
#include "serial/stop_request.h"

namespace tolvane {
namespace {

int g_Wake[2] = {-1, -1};  // the handler writes, the window's thread reads
OStopRequest g_Asked;

extern "C" void OnQuitSignal(int number) {
  const StopNote note = g_Asked.Note();
  if (note == StopNote::Forced) GiveBackPortsAndRaise(number);
  if (note != StopNote::First) return;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_Wake[1], &byte, 1);
}

}  // namespace

void CatchQuitSignals(std::function<void()> onQuit) {
  if (g_Wake[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_Wake) != 0) return;
  auto* notifier = new QSocketNotifier(g_Wake[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [onQuit = std::move(onQuit)] {
    char byte = 0;
    [[maybe_unused]] const ssize_t n = ::read(g_Wake[0], &byte, 1);
    onQuit();
  });
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : {SIGTERM, SIGHUP, SIGINT}) sigaction(number, &action, nullptr);
}

}  // namespace tolvane
