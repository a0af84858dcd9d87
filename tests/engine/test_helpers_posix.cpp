// Read-only folders and a read-only registry store for the engine's tests on POSIX.
#include "engine/test_helpers.h"

#include <unistd.h>

#include "engine/engine_fixture.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace engine_test {

using testing_support::SetImmutable;

struct ReadOnlyFolder::Saved {
  bool immutable = false;
};

ReadOnlyFolder::ReadOnlyFolder(const std::filesystem::path& path)
    : path_(path), saved_(std::make_unique<Saved>()) {
  if (geteuid() == 0) {
    saved_->immutable = SetImmutable(path_, true);
    ok_ = saved_->immutable;
    return;
  }
  std::error_code ec;
  std::filesystem::permissions(path_,
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove, ec);
  ok_ = !ec;
}

ReadOnlyFolder::~ReadOnlyFolder() {
  if (saved_->immutable) {
    SetImmutable(path_, false);
  } else if (ok_) {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
  }
}

struct ReadOnlyRegistry::State {
  std::unique_ptr<ReadOnlyFolder> store;
};

ReadOnlyRegistry::ReadOnlyRegistry(EngineTest& test)
    : test_(test), state_(std::make_unique<State>()) {
  // The store must exist with its write-ahead files before it is frozen.
  platform::ListRegistryValueNames(platform::HKEY_LOCAL_MACHINE, kNtFontsKey);
  state_->store = std::make_unique<ReadOnlyFolder>(test_.prefixDir() / "registry.db");
  platform::ReopenPrefix();
  test_.DeclareDisc();
}

ReadOnlyRegistry::~ReadOnlyRegistry() {
  state_->store.reset();
  platform::ReopenPrefix();
  test_.DeclareDisc();
}

bool ReadOnlyRegistry::ok() const { return state_->store->ok(); }

}  // namespace engine_test
