// The Windows stub's own versions of the C++ library's throw helpers (the functions that
// std::vector, std::string and friends call to raise length_error, out_of_range and so on).
//
// The library's versions build std::logic_error and its kin, whose messages live in a second,
// reference-counted copy of std::string: linking them in costs the stub some 50 KB, a third
// of its size. These raise the system's own errors instead, which the top-level handler reports
// the same way: a container that cannot grow is out of memory, anything else a plain error with
// the library's message. Linked into the Windows stub only; every other program keeps the
// library's versions. All fifteen are defined so that the library's file is never needed.
#include <exception>
#include <new>
#include <typeinfo>

#include "base/Exception.h"

namespace std {

void __throw_bad_exception() {
  throw std::bad_exception();
}
void __throw_bad_alloc() {
  throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
  throw std::bad_array_new_length();
}
void __throw_bad_cast() {
  throw std::bad_cast();
}
void __throw_bad_typeid() {
  throw std::bad_typeid();
}
void __throw_length_error(const char*) {
  throw se::EOutOfMemory("Out of memory");
}
void __throw_logic_error(const char* message) {
  throw se::Exception(message);
}
void __throw_domain_error(const char* message) {
  throw se::Exception(message);
}
void __throw_invalid_argument(const char* message) {
  throw se::Exception(message);
}
void __throw_out_of_range(const char* message) {
  throw se::Exception(message);
}
void __throw_out_of_range_fmt(const char* format, ...) {
  throw se::Exception(format);
}
void __throw_runtime_error(const char* message) {
  throw se::Exception(message);
}
void __throw_range_error(const char* message) {
  throw se::Exception(message);
}
void __throw_overflow_error(const char* message) {
  throw se::Exception(message);
}
void __throw_underflow_error(const char* message) {
  throw se::Exception(message);
}

}  // namespace std
