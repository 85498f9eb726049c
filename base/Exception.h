// The project's exception root and the stream and system errors shared by all parts.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace se {

// An error with a message text. ClassName() is the name the top-level handler reports.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message);
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }
  virtual const char* ClassName() const noexcept { return "Exception"; }
  // Code address at which the error was raised (for the top-level handler's report).
  const void* RaiseAddress() const noexcept { return raiseAddress_; }

 private:
  std::string message_;
  const void* raiseAddress_;
};

#define SE_EXCEPTION_CLASS(Name, Base)                                \
  class Name : public Base {                                          \
   public:                                                            \
    using Base::Base;                                                 \
    const char* ClassName() const noexcept override { return #Name; } \
  }

SE_EXCEPTION_CLASS(EStreamError, Exception);
SE_EXCEPTION_CLASS(EReadError, EStreamError);
SE_EXCEPTION_CLASS(EWriteError, EStreamError);
SE_EXCEPTION_CLASS(EFOpenError, EStreamError);
SE_EXCEPTION_CLASS(EFCreateError, EStreamError);
SE_EXCEPTION_CLASS(EOutOfMemory, Exception);

// An operating-system call failed; carries the system's error code.
class EOSError : public Exception {
 public:
  EOSError(uint32_t code, std::string message) : Exception(std::move(message)), ErrorCode(code) {}
  const char* ClassName() const noexcept override { return "EOSError"; }
  uint32_t ErrorCode;
};

// "Stream read error" and friends, as the streams raise them.
[[noreturn]] void RaiseReadError();
[[noreturn]] void RaiseWriteError();

}  // namespace se
