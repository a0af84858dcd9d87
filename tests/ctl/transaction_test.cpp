// Installs and removals ended at every step boundary, as a kill there would end them, killed at
// random moments, and made by three processes at once: the next program must find the prefix
// consistent (every entry names its file, every file has its entry, nothing is left pending) and
// a run must work when made again.
#include "ctl/transaction_fixture.h"

#include <chrono>
#include <random>
#include <thread>

namespace ctl_test {
namespace {

// A run ended at every step boundary of its installs and removals, as a kill there would end it;
// the next program settles what it left. Split, each commit takes its values one by one with a
// boundary between them, as the Windows registry takes them; POSIX's store takes a commit whole,
// and is tested both ways.
TEST_F(TransactionTest, ARunEndedAtAnyStepLeavesAConsistentPrefix) {
  std::vector<bool> splits = {true};
  if (testing_support::RunningSystem() == testing_support::System::Posix) splits.push_back(false);
  for (const bool split : splits) {
    testing_support::SetEnvironment("ZELVAFONT_TEST_SPLIT_COMMITS",
                                    split ? std::optional<std::string>("1") : std::nullopt);
    for (const bool install : {true, false}) {
      for (int step = 1;; ++step) {
        SCOPED_TRACE((split ? "split, " : "whole, ") +
                     std::string(install ? "install, step " : "remove, step ") +
                     std::to_string(step));
        ASSERT_LT(step, 200);
        if (install)
          Remove({"--all"});
        else
          Install({"--all"});
        testing_support::SetEnvironment("ZELVAFONT_TEST_EXIT_AT_STEP", std::to_string(step));
        Result run = install ? Install({"A", "D"}) : Remove({"A", "D"});
        testing_support::SetEnvironment("ZELVAFONT_TEST_EXIT_AT_STEP", std::nullopt);
        ExpectConsistent();
        if (run.exitCode != 86) {
          EXPECT_EQ(run.exitCode, 0) << run.err;
          break;  // every boundary was passed
        }
        // Settled, the run can be made again and does what it was asked.
        Result again = install ? Install({"A", "D"}) : Remove({"A", "D"});
        EXPECT_EQ(again.exitCode, 0) << again.err;
        EXPECT_EQ(Entries().size(), install ? 3u : 2u);
      }
    }
  }
  testing_support::SetEnvironment("ZELVAFONT_TEST_SPLIT_COMMITS", std::nullopt);
}

// Runs ended at random moments from outside, as kill -9 or TerminateProcess ends them, in the
// middle of a commit as anywhere else. The moments spread over the time a whole run takes here:
// Wine starts a program far more slowly than Linux.
TEST_F(TransactionTest, RunsKilledAtRandomMomentsLeaveAConsistentPrefix) {
  const auto begin = std::chrono::steady_clock::now();
  ASSERT_EQ(Install({"--all"}).exitCode, 0);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::steady_clock::now() - begin)
                         .count();
  std::mt19937 random(20261208);
  for (int round = 0; round < 30; ++round) {
    const bool install = round % 2 == 1;
    Started run(ctl_, {"--prefix", prefix_.str(), "--disc", DiscArgument(),
                       install ? "install" : "remove", "TTF", "--style", "All", "--all"});
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (whole + 1)));
    run.Kill();
  }
  ExpectConsistent();
}

// Three processes install and remove overlapping fonts whose files share names, and list them,
// for ten rounds each.
TEST_F(TransactionTest, ThreeProcessesAtOnceLeaveEveryFontWhole) {
  const std::vector<std::vector<std::string>> plans = {
      {"A", "C"}, {"B", "C", "D"}, {"A", "E"}};
  std::vector<std::thread> workers;
  std::vector<std::string> failures(plans.size());
  for (std::size_t p = 0; p < plans.size(); ++p) {
    workers.emplace_back([&, p] {
      for (int round = 0; round < 10; ++round) {
        for (const bool install : {true, false}) {
          if (p == 2 && !install && round == 9) continue;  // leave some fonts installed
          Result r = install ? Install(plans[p]) : Remove(plans[p]);
          // Another process may have removed a font this one installed, or the reverse.
          if (r.exitCode != 0 && r.exitCode != 5)
            failures[p] += "run " + std::to_string(r.exitCode) + ": " + r.err;
          Result listed = Ctl({"fonts", "TTF", "--style", "All"});
          if (listed.exitCode != 0) failures[p] += "listing: " + listed.err;
        }
      }
    });
  }
  for (auto& worker : workers) worker.join();
  for (const auto& failure : failures) EXPECT_EQ(failure, "");
  ExpectConsistent();
  EXPECT_FALSE(Entries().empty());

  ExpectStoreIntact(prefix_.path());
}

}  // namespace
}  // namespace ctl_test
