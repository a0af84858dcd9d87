// Start-up of the launcher: from process start to the launcher's first paint, and the peak
// resident memory at that moment, against a minimal Qt Widgets window measured the same way.
// Each iteration starts this program anew in a child mode that reports when it has painted.
//
//   bench_gui --benchmark_filter=StartToFirstPaint
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "Installfont/insfont.h"
#include "Installmain/app_support.h"
#include "Installmain/insmain.h"
#include "platform/prefix.h"
#include "support/test_support.h"

extern char** environ;

namespace {

constexpr const char* kChildFlag = "--start-child";

long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Reports once the watched widget has painted, then ends the child.
class FirstPaint : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !reported_) {
      reported_ = true;
      // After this paint and its flush, not before.
      QTimer::singleShot(0, [] {
        std::printf("%ld\n", PeakRssKiB());
        std::fflush(stdout);
        std::_Exit(0);
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool reported_ = false;
};

int RunChild(int argc, char** argv, const std::string& mode) {
  QApplication app(argc, argv);
  FirstPaint watcher;
  if (mode == "launcher") {
    InitialiseApplication();
    TInsMain launcher;
    TInsFont fontWindow(&launcher, &launcher.StartFolder);
    launcher.SetFontWindow(&fontWindow);
    launcher.MainBack->installEventFilter(&watcher);
    launcher.show();
    return app.exec();
  }
  QWidget window;
  window.resize(630, 451);
  QLabel label(QStringLiteral("Hello"), &window);
  label.installEventFilter(&watcher);
  window.show();
  return app.exec();
}

// Starts this program in a child mode; returns seconds to its report and its peak RSS in KiB.
bool TimeChild(const char* mode, double& seconds, long& peakKiB) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  char self[] = "/proc/self/exe";
  std::string flag = kChildFlag;
  std::string modeText = mode;
  char* childArgv[] = {self, flag.data(), modeText.data(), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, self, &actions, nullptr, childArgv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    return false;
  }
  char buffer[64] = {};
  const ssize_t got = read(pipeFds[0], buffer, sizeof buffer - 1);
  const auto end = std::chrono::steady_clock::now();
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (got <= 0) return false;
  seconds = std::chrono::duration<double>(end - start).count();
  peakKiB = std::strtol(buffer, nullptr, 10);
  return true;
}

// The launcher needs its disc: a prefix with a CD-ROM drive labelled QRTMV over a folder.
struct BenchDisc {
  testing_support::TempPrefix prefix;
  testing_support::TempDir disc;
  BenchDisc() {
    platform::DriveDeclaration drive;
    drive.letter = 'E';
    drive.type = platform::DRIVE_CDROM;
    drive.hostFolder = disc.str();
    drive.label = "QRTMV";
    platform::DeclareDrive(drive, platform::DeclarationScope::Prefix);
  }
};

void BM_StartToFirstPaint(benchmark::State& state, const char* mode) {
  BenchDisc disc;
  long peakSum = 0;
  long runs = 0;
  for (auto _ : state) {
    double seconds = 0;
    long peakKiB = 0;
    if (!TimeChild(mode, seconds, peakKiB)) {
      state.SkipWithError("the child did not report");
      return;
    }
    state.SetIterationTime(seconds);
    peakSum += peakKiB;
    ++runs;
  }
  if (runs) state.counters["peak_rss_MiB"] = static_cast<double>(peakSum) / runs / 1024.0;
}
BENCHMARK_CAPTURE(BM_StartToFirstPaint, launcher, "launcher")
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StartToFirstPaint, minimal_qt_window, "minimal")
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], kChildFlag) == 0) {
    int childArgc = 1;
    return RunChild(childArgc, argv, argv[2]);
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
