// The process's last line of defence: an error that escapes the run is shown as
// "Application Error" and the process ends with exit code 1.
#pragma once

#include <exception>
#include <string>

namespace extractor {

// The text of the "Application Error" box for an escaped error.
std::string ApplicationErrorText(std::exception_ptr error);
// Shows the box for the error.
void ShowApplicationError(std::exception_ptr error);

}  // namespace extractor
