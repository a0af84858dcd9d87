// The font window on a set whose first style has 300 fonts with sample pictures: LoadFontSet
// until the list is shown, and until the worker has filled the counters; and a check box click
// until the counters show the new selection.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <memory>

#include "Installfont/fixture_disc.h"
#include "Installfont/insfont.h"
#include "platform/threads.h"

namespace {

QApplication& App() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  static int argc = 1;
  static char name[] = "fontwindow_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// One prefix, disc and window for all runs; every run loads the set afresh.
struct Bench {
  Bench() {
    prefix = std::make_unique<testing_support::TempPrefix>();
    disc = std::make_unique<fixture::Disc>();
    std::vector<std::string> keys;
    for (const fixture::Font& f : fixture::NumberedFonts(300, 28)) {
      disc->Add(f);
      keys.push_back(f.key);
    }
    disc->Add(fixture::Style{"S1", "Three Hundred", keys});
    disc->Add(fixture::Style{"S2", "Other", {"F1"}});
    disc->Build();
    for (int i = 0; i < 300; i += 10) disc->MarkInstalled(disc->fonts()[i], prefix->fontsDir());
    disc->Open();
    window = std::make_unique<TInsFont>(&launcher, &startFolder);
    window->show();
  }

  void Settle() {
    int quiet = 0;
    while (quiet < 2) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      platform::CheckSynchronize();
      quiet = window->WorkerIdle() ? quiet + 1 : 0;
    }
  }

  void Close() {
    window->FormClose();
    disc::Paths().setFolder = "D:\\TTF\\";
    Settle();
  }

  QApplication& app = App();  // before any widget
  std::unique_ptr<testing_support::TempPrefix> prefix;
  std::unique_ptr<fixture::Disc> disc;
  QWidget launcher;
  std::string startFolder = "D:\\";
  std::unique_ptr<TInsFont> window;
};

Bench& Shared() {
  static Bench* bench = new Bench;
  return *bench;
}

void BM_LoadFontSetUntilListShown(benchmark::State& state) {
  Bench& b = Shared();
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    b.window->LoadFontSet();
    b.window->repaint();  // the rows painted
    state.SetIterationTime(timer.nsecsElapsed() / 1e9);
    if (b.window->EntryCount() != 300) state.SkipWithError("the list is not complete");
    b.Settle();
    b.Close();
  }
}
BENCHMARK(BM_LoadFontSetUntilListShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_LoadFontSetUntilCountersFilled(benchmark::State& state) {
  Bench& b = Shared();
  QLabel* fonts = b.window->findChild<QLabel*>("Label11");
  for (auto _ : state) {
    fonts->setText("0");
    QElapsedTimer timer;
    timer.start();
    b.window->LoadFontSet();
    b.Settle();
    state.SetIterationTime(timer.nsecsElapsed() / 1e9);
    if (fonts->text() != "300") state.SkipWithError("the counters are not filled");
    b.Close();
  }
}
BENCHMARK(BM_LoadFontSetUntilCountersFilled)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_CheckClickUntilCounters(benchmark::State& state) {
  Bench& b = Shared();
  b.window->LoadFontSet();
  b.Settle();
  QLabel* selected = b.window->findChild<QLabel*>("Label13");
  QCheckBox* box = b.window->Rows().at(1).check;
  int expected = 0;
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    box->click();  // the clicked signal, as a mouse click gives it
    expected = box->isChecked() ? 1 : 0;
    b.Settle();
    state.SetIterationTime(timer.nsecsElapsed() / 1e9);
    if (selected->text() != QString::number(expected)) state.SkipWithError("Selected is stale");
  }
  b.Close();
}
BENCHMARK(BM_CheckClickUntilCounters)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

// A handler that needs ListLock while a selection count holds it (here a mode switch that finds
// the mode unchanged): the wait runs the count's remaining steps on the window thread as soon
// as they are handed over, instead of in 500 ms slices.
void BM_ListLockWaitDuringACount(benchmark::State& state) {
  Bench& b = Shared();
  b.window->LoadFontSet();
  b.Settle();
  QCheckBox* box = b.window->Rows().at(1).check;
  for (auto _ : state) {
    box->click();
    // Serve step 0 only: the worker now holds ListLock and is about to hand over step 1.
    while (!platform::CheckSynchronize()) platform::Sleep(0);
    QElapsedTimer timer;
    timer.start();
    b.window->RadioInstallClick();
    state.SetIterationTime(timer.nsecsElapsed() / 1e9);
    b.Settle();
  }
  b.Close();
}
BENCHMARK(BM_ListLockWaitDuringACount)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace
