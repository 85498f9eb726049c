#include "extractor/TopLevelHandler.h"

#include <new>

#include "base/Exception.h"
#include "base/Hex.h"
#include "platform/Platform.h"

namespace extractor {

#ifdef _WIN32
constexpr const char* kLineBreak = "\r\n";
#else
constexpr const char* kLineBreak = "\n";
#endif

std::string ApplicationErrorText(std::exception_ptr error) {
  std::string className = "Exception";
  std::string message;
  const void* address = nullptr;
  try {
    std::rethrow_exception(error);
  } catch (const se::Exception& e) {
    className = e.ClassName();
    message = e.Message();
    address = e.RaiseAddress();
  } catch (const std::bad_alloc&) {
    className = "EOutOfMemory";
    message = "Out of memory";
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown error";
  }
  std::uintptr_t offset = 0;
  std::string module = plat::Current().ModuleNameFor(address, offset);
  if (!address) offset = 0;
  const std::string where = se::UpperHex(offset, static_cast<int>(2 * sizeof(void*)));
  if (message.empty() || message.back() != '.') message += '.';
  return "Exception " + className + " in module " + module + " at " + where + "." + kLineBreak +
         message;
}

void ShowApplicationError(std::exception_ptr error) {
  plat::Current().ShowMessage(ApplicationErrorText(error), "Application Error",
                              plat::mb::kIconError | plat::mb::kTaskModal);
}

}  // namespace extractor
