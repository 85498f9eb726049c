// The message box of a system without windows: a dialog on the terminal.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

namespace plat::posix {

// Writes the caption and the text to `out`. A Yes/No box then asks "[y/n]" and reads answers
// from `in` (y, yes, n or no in any case; anything else asks again; end of input means No).
// Any other box returns IDOK; when `waitForEnter` (a person at a terminal) it waits for a line
// first, as a box waits for its button.
int TerminalDialog(std::istream& in, std::ostream& out, bool waitForEnter, const std::string& text,
                   const std::string& caption, uint32_t style);

}  // namespace plat::posix
