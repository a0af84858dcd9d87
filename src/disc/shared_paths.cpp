// The one path state of the process.
#include "disc/shared_paths.h"

namespace disc {

SharedPaths& Paths() {
  static SharedPaths paths;
  return paths;
}

}  // namespace disc
