// Where the tests find the source tree and a scratch folder of their own.
#pragma once

#include <string>

namespace testing_support {

// The source tree's root as this build's file API reads it.
std::string SourceDir();
// A path in the source tree, joined with "/" (which both builds' file APIs accept).
std::string SourcePath(const std::string& relative);

}  // namespace testing_support
