// Checks on text the user hands the packer.
#pragma once

#include <string>
#include <string_view>

namespace sepack {

// The offset of the first byte that does not belong to a well-formed UTF-8 sequence (overlong
// forms, surrogates and code points past U+10FFFF included); npos when `text` is valid.
size_t InvalidUtf8Offset(std::string_view text);

}  // namespace sepack
