// The error raised when a call into the cabinet library fails.
#pragma once

#include <cstdint>
#include <string>

#include "base/Exception.h"
#include "cab/CabIntf.h"

namespace cab {

class EKXCabinet : public se::Exception {
 public:
  // Builds the message from the error record: the code's text and "[0x....]", then, when an
  // OS error lies behind it, a second line with the system's text and its code.
  EKXCabinet(const ERF& erf, bool isFCI);
  // The same, with a further line of detail appended (e.g. the stored name that was refused).
  EKXCabinet(const ERF& erf, bool isFCI, const std::string& detail);
  const char* ClassName() const noexcept override { return "EKXCabinet"; }

  int32_t ErrorCode;
  int32_t ErrorType;
  bool ErrorPresent;
  bool IsFCI;
};

// The message EKXCabinet carries for a record.
std::string CabinetErrorMessage(const ERF& erf, bool isFCI);

}  // namespace cab
