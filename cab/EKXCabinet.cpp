#include "cab/EKXCabinet.h"

#include "base/Hex.h"
#include "base/OSError.h"
#include "cab/CabKXConsts.h"

namespace cab {
namespace {

// At least four upper-case hex digits, never cut; the value taken unsigned.
std::string Hex(int32_t value) {
  return se::UpperHex(static_cast<uint32_t>(value), 4);
}

}  // namespace

std::string CabinetErrorMessage(const ERF& erf, bool isFCI) {
  if (erf.fError == 0) return isFCI ? "FCI error" : "FDI error";
  std::string text = isFCI ? FCIErrorText(erf.erfOper) : FDIErrorText(erf.erfOper);
  text += " [0x" + Hex(erf.erfOper) + "]";
  if (erf.erfType != 0) {
    text += ".\r\n" + se::TrimmedErrorText(static_cast<uint32_t>(erf.erfType)) + " [0x" +
            Hex(erf.erfType) + "].";
  }
  return text;
}

EKXCabinet::EKXCabinet(const ERF& erf, bool isFCI)
    : se::Exception(CabinetErrorMessage(erf, isFCI)),
      ErrorCode(erf.erfOper),
      ErrorType(erf.erfType),
      ErrorPresent(erf.fError != 0),
      IsFCI(isFCI) {}

EKXCabinet::EKXCabinet(const ERF& erf, bool isFCI, const std::string& detail)
    : se::Exception(CabinetErrorMessage(erf, isFCI) + "\r\n" + detail),
      ErrorCode(erf.erfOper),
      ErrorType(erf.erfType),
      ErrorPresent(erf.fError != 0),
      IsFCI(isFCI) {}

}  // namespace cab
