// Thousands of random clicks, style changes, mode switches, Select All, Reset and closes against
// a window that keeps its rows and counters as the font window does. Built with
// -fsanitize=thread this shows any race; in every build it must end without a deadlock and with
// counters that match a direct count of the final state.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <vector>

#include "Ifthread/ifthread.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Row {
  bool installed = false;
  int link = -1;         // index of a linked row, counted with it
  bool checked = false;  // window thread only
  bool enabled = true;   // window thread only
};

// Rows and the "engine" selection are guarded by ListLock; the counters belong to the window
// thread, as the labels do.
class ModelWindow : public TIFWindow {
 public:
  ModelWindow() { locks.Create(); }
  ~ModelWindow() { locks.Close(); }
  TIFLocks& Locks() override { return locks; }

  void CountStyleStep(std::int32_t& step) override {
    if (step < 0 || step > 2) step = 0;
    if (step == 0) {
      selection.clear();
      for (std::size_t i = 0; i < rows.size(); ++i) selection.push_back(static_cast<int>(i));
    } else if (step == 1) {
      styleInstalled = CountWork(true, true);
      platform::Synchronize([this] { shownFree = 1; });
    } else {
      const int installed = styleInstalled;
      const int fonts = installed + CountWork(false, true);
      platform::Synchronize([this, installed, fonts] {
        shownFonts = fonts;
        shownInstalled = installed;
        controlsEnabled = true;
      });
    }
    ++step;
    ++steps;
  }

  void CountSelectionStep(std::int32_t& step) override {
    if (!platform::IsMainThread()) offThread = true;
    if (step < 0 || step > 2) step = 0;
    if (step == 0) {
      selection.clear();
      for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].checked) selection.push_back(static_cast<int>(i));
    } else if (step == 1) {
      shownSelected = CountWork(!installMode, true);
    } else {
      shownRequire = CountWork(!installMode, true) * 3;
      runEnabled = shownRequire > 0;
      controlsEnabled = true;
    }
    ++step;
    ++steps;
  }

  void SetAllChecks(bool value) override {
    platform::Synchronize([this, value] {
      for (Row& row : rows)
        if (row.enabled) row.checked = value;
    });
    ++steps;
  }

  // The work list: the selection expanded by links, each row once.
  int CountWork(bool countInstalled, bool links) const {
    std::vector<bool> seen(rows.size(), false);
    int count = 0;
    for (int i : selection) {
      for (int j = i; j >= 0 && !seen[j]; j = links ? rows[j].link : -1) {
        seen[j] = true;
        if (rows[j].installed == countInstalled) ++count;
      }
    }
    return count;
  }

  TIFLocks locks;
  std::vector<Row> rows;
  std::vector<int> selection;
  bool installMode = true;
  int styleInstalled = 0;
  int shownFonts = -1, shownInstalled = -1, shownSelected = -1, shownRequire = -1, shownFree = -1;
  bool runEnabled = false;
  bool controlsEnabled = false;
  std::atomic<bool> offThread{false};
  std::atomic<int> steps{0};
};

class Stress {
 public:
  explicit Stress(unsigned seed) : random(seed) {}

  void Open() {
    TLockHolder starting(window.locks.StartLock);
    worker = std::make_unique<TIFThread>(window);
    NewStyle();
  }

  void Close() {
    {
      TLockHolder listing(window.locks.ListLock);
      window.rows.clear();
    }
    if (random() % 2) worker->RequestQuit();
    worker->Stop();
    worker.reset();
  }

  void NewStyle() {
    {
      TLockHolder listing(window.locks.ListLock);
      window.rows.assign(random() % 12, Row{});
      for (std::size_t i = 0; i < window.rows.size(); ++i) {
        Row& row = window.rows[i];
        row.installed = random() % 3 == 0;
        row.link = random() % 4 == 0 ? static_cast<int>(random() % window.rows.size()) : -1;
        row.enabled = row.installed != window.installMode;
      }
      window.controlsEnabled = false;
    }
    worker->RequestStyleCount();
  }

  void SwitchMode() {
    {
      TLockHolder listing(window.locks.ListLock);
      window.installMode = !window.installMode;
      for (Row& row : window.rows) {
        row.enabled = row.installed != window.installMode;
        row.checked = false;
      }
    }
    worker->RequestRecount();
  }

  void Click() {
    if (window.rows.empty()) return;
    Row& row = window.rows[random() % window.rows.size()];
    if (!row.enabled) return;
    row.checked = !row.checked;
    worker->RequestRecount();
  }

  void Serve() {
    const auto until = Clock::now() + std::chrono::microseconds(random() % 1500);
    do {
      platform::CheckSynchronize();
    } while (Clock::now() < until);
  }

  void Step() {
    switch (random() % 20) {
      case 0: NewStyle(); break;
      case 1: SwitchMode(); break;
      case 2: worker->RequestSetAll(true); break;
      case 3: worker->RequestSetAll(false); break;
      case 4:
        Close();
        Open();
        break;
      default: Click(); break;
    }
    if (random() % 3 == 0) Serve();
  }

  void Settle() {
    // The last request is a full count; once no step has run for a while it is done.
    worker->RequestStyleCount();
    int last = -1;
    auto quietSince = Clock::now();
    const auto limit = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < limit) {
      if (!platform::CheckSynchronize()) platform::Sleep(1);
      if (window.steps != last) {
        last = window.steps;
        quietSince = Clock::now();
      } else if (Clock::now() - quietSince > std::chrono::milliseconds(300)) {
        break;
      }
    }
  }

  ModelWindow window;
  std::unique_ptr<TIFThread> worker;
  std::mt19937 random;
};

TEST(WorkerStress, RandomUseEndsWithCountersThatMatchTheState) {
  platform::SetMainThread();
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    Stress stress(seed);
    stress.Open();
    for (int i = 0; i < 1500; ++i) stress.Step();
    stress.Settle();

    ModelWindow& w = stress.window;
    std::vector<int> everything;
    for (std::size_t i = 0; i < w.rows.size(); ++i) everything.push_back(static_cast<int>(i));
    std::vector<int> checked;
    for (std::size_t i = 0; i < w.rows.size(); ++i)
      if (w.rows[i].checked) checked.push_back(static_cast<int>(i));
    w.selection = everything;
    EXPECT_EQ(w.shownFonts, w.CountWork(true, true) + w.CountWork(false, true));
    EXPECT_EQ(w.shownInstalled, w.CountWork(true, true));
    w.selection = checked;
    EXPECT_EQ(w.shownSelected, w.CountWork(!w.installMode, true));
    EXPECT_EQ(w.shownRequire, 3 * w.CountWork(!w.installMode, true));
    EXPECT_EQ(w.runEnabled, w.shownRequire > 0);
    EXPECT_TRUE(w.controlsEnabled);
    EXPECT_FALSE(w.offThread);
    stress.Close();
  }
}

}  // namespace
