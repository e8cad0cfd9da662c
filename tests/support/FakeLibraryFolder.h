#pragma once
// The tests' device library (tests/fakelib/FakeKardemoLibrary.cpp) as a test uses it: a copy
// of the library file as libkardemo.so in a folder of the test's own, beside its script, and
// the calls that copy logged there. Each copy is loaded as a library of its own, with its own
// script.

#include "support/TempFolder.h"

#include <filesystem>
#include <string>
#include <vector>

namespace solvane::testing {

/// Copies `library` into `folder` as libkardemo.so, with `script` as the lines of its
/// [Script] section.
void placeFakeKardemo(const TempFolder& folder, const std::filesystem::path& library,
                      const std::string& script);

/// Every call the copy in `folder` saw, one line each, in order.
[[nodiscard]] std::vector<std::string> fakeKardemoCalls(const TempFolder& folder);

} // namespace solvane::testing
