// What the window costs a user: rendering the worst-case dump against plain
// text, the time from construction to the first paint, and the longest gap
// between two paints while a write runs against a device at 57600 baud.
#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "image/dump_composer.h"
#include "log/console_log.h"
#include "sim/simulated_device.h"
#include "fake_desktop.h"
#include "ui/image_viewer.h"
#include "ui/log_window.h"
#include "ui/main_window.h"
#include "ui/main_window_layout.h"
#include "ui/rich_pane.h"
#include "samples.h"

using namespace tolvane;

namespace {

// A mismatch in every other word: four runs in each of the 4096 rows.
void WorstCasePair(FirmwareImage& file, FirmwareImage& device) {
  for (int32_t offset = 0; offset < kFlashSize; offset += 4) file[offset] = 0x00;
  device.Clear();
}

// Lets the pane lay out and paint what it was given.
void Settle(RichPane& pane) {
  pane.document()->documentLayout()->documentSize();
  pane.viewport()->repaint();
  QCoreApplication::processEvents();
}

double Seconds(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e9; }

// The worst-case pair, its composed plain text and a shown pane.
struct DumpScene {
  DumpScene() {
    WorstCasePair(File, Device);
    Composer.Compose(File, File, Device);
    Plain = QString::fromStdString(Composer.Text());
    Pane.resize(700, 500);
    Pane.show();
  }
  double Render() {
    QElapsedTimer t;
    t.start();
    RenderImage(Pane, Composer, File, File, Device);
    Settle(Pane);
    return Seconds(t);
  }
  double SetPlain() {
    QElapsedTimer t;
    t.start();
    Pane.setPlainText(Plain);
    Settle(Pane);
    return Seconds(t);
  }
  FirmwareImage File;
  FirmwareImage Device;
  DumpComposer Composer;
  QString Plain;
  RichPane Pane;
};

void BM_RenderWorstCaseDump(benchmark::State& state) {
  DumpScene scene;
  for (auto _ : state) scene.Render();
  state.counters["runs"] = static_cast<double>(scene.Composer.FlashRuns().size());
}
BENCHMARK(BM_RenderWorstCaseDump)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_SetPlainDumpText(benchmark::State& state) {
  DumpScene scene;
  for (auto _ : state) scene.SetPlain();
}
BENCHMARK(BM_SetPlainDumpText)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Both in one run, alternating, so the ratio is not skewed by the machine's load.
void BM_RenderToPlainRatio(benchmark::State& state) {
  DumpScene scene;
  Samples rendered;
  Samples plain;
  for (auto _ : state) {
    rendered.Add(scene.Render());
    plain.Add(scene.SetPlain());
  }
  state.counters["render_ms"] = rendered.Median() * 1e3;
  state.counters["plain_ms"] = plain.Median() * 1e3;
  state.counters["ratio"] = rendered.Median() / plain.Median();
}
BENCHMARK(BM_RenderToPlainRatio)->Unit(benchmark::kMillisecond)->Iterations(15);

// Counts paints of a window and its children and the longest gap between them.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget& window) : m_Window(window) { qApp->installEventFilter(this); }
  ~PaintWatch() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched->isWidgetType()) {
      auto* widget = static_cast<QWidget*>(watched);
      if (widget == &m_Window || m_Window.isAncestorOf(widget)) {
        if (!m_Clock.isValid()) {
          m_Clock.start();
          m_First = 0;
        } else {
          qint64 now = m_Clock.nsecsElapsed();
          m_LongestGap = std::max(m_LongestGap, now - m_Last);
          m_Last = now;
        }
        ++m_Paints;
      }
    }
    return false;
  }
  bool Painted() const { return m_Paints > 0; }
  void ResetGaps() {
    m_LongestGap = 0;
    m_Last = m_Clock.isValid() ? m_Clock.nsecsElapsed() : 0;
  }
  double LongestGapMs() const { return static_cast<double>(m_LongestGap) / 1e6; }
  int Paints() const { return m_Paints; }

 private:
  QWidget& m_Window;
  QElapsedTimer m_Clock;
  qint64 m_First = 0;
  qint64 m_Last = 0;
  qint64 m_LongestGap = 0;
  int m_Paints = 0;
};

void BM_StartToFirstPaint(benchmark::State& state) {
  test::FakePortSource ports;
  test::FakeSettings settings;
  for (auto _ : state) {
    QElapsedTimer t;
    t.start();
    CProgPicDlg window(settings, {}, &ports);
    PaintWatch watch(window);
    window.show();
    while (!watch.Painted()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    state.SetIterationTime(Seconds(t));
  }
}
BENCHMARK(BM_StartToFirstPaint)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_PaintGapDuringWrite(benchmark::State& state) {
  for (auto _ : state) {
    SimulatedDeviceOptions options;
    options.BaudRate = kDefaultBaud;
    options.ProgramTimeUs = 2000;
    SimulatedDevice device(options);
    if (!device.Start()) {
      state.SkipWithError("no pseudo-terminal");
      return;
    }
    test::FakeDesktop desktop;
    test::FakeSettings settings;
    test::FakePortSource ports;
    CProgPicDlg window(settings, {{device.PortPath(), ""}}, &ports);
    window.show();
    QComboBox& combo = window.PortCombo();
    int index = combo.findData(QString::fromStdString(device.PortPath()));
    combo.setCurrentIndex(index);
    emit combo.activated(index);
    desktop.NextFile = QStringLiteral(TOLVANE_EXAMPLES_DIR "/demo-firmware.hex");
    window.OnOpenHexFile();
    PaintWatch watch(window);
    QCoreApplication::processEvents();
    QSignalSpy ended(&window, &CProgPicDlg::ProcedureEnded);
    QElapsedTimer t;
    t.start();
    watch.ResetGaps();
    window.Button(ctl::kWrite)->click();
    while (ended.isEmpty()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    state.SetIterationTime(Seconds(t));
    state.counters["longest_paint_gap_ms"] = watch.LongestGapMs();
    state.counters["paints"] = watch.Paints();
  }
}
BENCHMARK(BM_PaintGapDuringWrite)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// Peak resident memory of the process so far, in MiB.
double PeakMiB() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A large valid file (4 M records, 56 MB) opened in the window with the log
// window attached: its time, and how much the peak memory grew.
void BM_OpenLargeFileWithTheLogWindow(benchmark::State& state) {
  const std::string path = (std::filesystem::temp_directory_path() / "tolvane-bench-large.hex").string();
  {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    char line[64];
    for (int32_t i = 0; i < 4 * 1024 * 1024; ++i) {
      const auto offset = static_cast<unsigned>((i * 4) & 0xFFFC);
      const unsigned sum = (0x04u + (offset >> 8) + (offset & 0xFF) + 0x01 + 0x02 + 0x03 + 0x04) & 0xFF;
      const int n = std::snprintf(line, sizeof line, ":04%04X0001020304%02X\n", offset, (0x100 - sum) & 0xFF);
      std::fwrite(line, 1, static_cast<size_t>(n), out);
    }
    std::fputs(":00000001FF\n", out);
    std::fclose(out);
  }
  for (auto _ : state) {
    test::FakeDesktop desktop;
    test::FakeSettings settings;
    test::FakePortSource ports;
    LogWindow log;
    log.Attach();
    CProgPicDlg window(settings, {}, &ports, desktop);
    window.show();
    log.show();
    QCoreApplication::processEvents();
    const double before = PeakMiB();
    QElapsedTimer t;
    t.start();
    window.OpenHexFile(QString::fromStdString(path));
    QCoreApplication::processEvents();
    state.SetIterationTime(Seconds(t));
    state.counters["peak_growth_MiB"] = PeakMiB() - before;
    state.counters["log_lines"] = log.document()->blockCount();
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_OpenLargeFileWithTheLogWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  Log().RemoveAllSinks();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
