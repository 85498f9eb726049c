#include "platform/posix/TerminalDialog.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iostream>

#include "platform/posix/PosixPlatform.h"

namespace plat::posix {
namespace {

std::string Normalised(std::string answer) {
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  answer.erase(answer.begin(), std::find_if_not(answer.begin(), answer.end(), blank));
  answer.erase(std::find_if_not(answer.rbegin(), answer.rend(), blank).base(), answer.end());
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return answer;
}

}  // namespace

int TerminalDialog(std::istream& in, std::ostream& out, bool waitForEnter, const std::string& text,
                   const std::string& caption, uint32_t style) {
  out << '\n' << caption << '\n' << text << '\n';
  if ((style & 0x0F) != mb::kYesNo) {
    if (waitForEnter) {
      out << "[press Enter] " << std::flush;
      std::string line;
      std::getline(in, line);
    }
    out << std::flush;
    return mb::kIdOk;
  }
  for (;;) {
    out << "[y/n] " << std::flush;
    std::string line;
    if (!std::getline(in, line)) {
      out << '\n' << std::flush;
      return mb::kIdNo;
    }
    const std::string answer = Normalised(line);
    if (answer == "y" || answer == "yes") return mb::kIdYes;
    if (answer == "n" || answer == "no") return mb::kIdNo;
  }
}

void PosixPlatform::Beep(uint32_t /*type*/) {
  if (isatty(STDERR_FILENO)) {
    std::cerr << '\a' << std::flush;
  }
}

int PosixPlatform::ShowMessage(const std::string& text, const std::string& caption,
                               uint32_t style) {
  return TerminalDialog(std::cin, std::cerr, isatty(STDIN_FILENO) != 0, text, caption, style);
}

}  // namespace plat::posix
