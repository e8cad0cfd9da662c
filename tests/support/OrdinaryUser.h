#pragma once
// Root may write any file and into any folder, so a test of what file modes forbid runs as
// root once more as the user nobody (65534), through setpriv.

#include <string>

namespace solvane::testing {

/// Runs a copy of this test program, which nobody may run, as the user nobody with
/// `filter` as its --gtest_filter; its exit status, 0 when every test it ran passed, and 1
/// when the filter matched no test. The sanitizer's suppressions file is left out of its
/// environment, since it may be out of nobody's reach.
[[nodiscard]] int runAgainAsNobody(const std::string& filter);

} // namespace solvane::testing
