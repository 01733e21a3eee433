// Every test of this binary has .xls files read by the helper this build made, unless the
// environment names another; the client would look beside its own executable, which for a test
// binary holds none.
#include <cstdlib>

#include "store/xls_helper.h"

namespace {

[[maybe_unused]] const bool kHelperNamed = [] {
  return setenv(corvel::kXlsHelperVariable, CORVEL_TEST_XLS_READ, 0) == 0;
}();

}  // namespace
