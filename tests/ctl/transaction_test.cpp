// Installs and removals ended at every step boundary, as a kill there would end them: the next
// program must find the prefix consistent (every entry names its file, every file has its entry,
// nothing is left pending) and the run must work when made again.
#include "ctl/transaction_fixture.h"

namespace ctl_test {
namespace {

// A run ended at every step boundary of its installs and removals, as a kill there would end it;
// the next program settles what it left.
TEST_F(TransactionTest, ARunEndedAtAnyStepLeavesAConsistentPrefix) {
  for (const bool install : {true, false}) {
    for (int step = 1;; ++step) {
      SCOPED_TRACE((install ? "install, step " : "remove, step ") + std::to_string(step));
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

}  // namespace
}  // namespace ctl_test
