// An exception met inside any callback the cabinet library calls must not unwind through the
// library (on 32-bit Windows that ends the process in std::terminate): the callback answers the
// library's failure value and the reader raises the recorded error once the library returns.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "cab/CabCallbacks.h"
#include "cab/KXCabReader.h"
#include "platform/Platform.h"
#include "tests/support/CabBuilder.h"
#include "tests/support/TempDir.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

enum class Raise { kRuntimeError, kBadAlloc };

struct Fault {
  std::string callback;  // which callback throws
  int nth = 1;           // on its n-th call from arming
  Raise raise = Raise::kRuntimeError;
  int calls = 0;
  bool fired = false;
} fault;

void ThrowingHook(const char* callback) {
  if (fault.fired || fault.callback != callback || ++fault.calls != fault.nth) return;
  fault.fired = true;
  if (fault.raise == Raise::kBadAlloc) throw std::bad_alloc();
  throw std::runtime_error("forced in " + fault.callback);
}

class HookGuard {
 public:
  explicit HookGuard(Fault f) {
    fault = std::move(f);
    cab::CallbackFaultHook = ThrowingHook;
  }
  ~HookGuard() { cab::CallbackFaultHook = nullptr; }
};

struct Case {
  const char* callback;
  int nth;
  Raise raise;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.callback << "#" << c.nth << (c.raise == Raise::kBadAlloc ? " bad_alloc" : "");
}

class CallbackFault : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    cabinet = dir / "test.cab";
    WriteFileBytes(cabinet, testing_support::MakeStoredCabinet(
                                {{"a.txt", "alpha"}, {"sub\\b.txt", std::string(5000, 'b')}}));
    out = dir / "out";
    plat::Current().MakeFolder(out);
  }
  TempDir dir;
  std::string cabinet, out;
};

// Whatever callback throws, the error that leaves Extract is the one thrown, and the reader
// (and the library under it) is fit for the next extraction.
TEST_P(CallbackFault, RaisedAfterTheLibraryReturns) {
  const Case& c = GetParam();
  cab::TKXCabReader reader;
  {
    HookGuard hook({c.callback, c.nth, c.raise});
    if (c.raise == Raise::kBadAlloc) {
      EXPECT_THROW(reader.Extract(cabinet, out, 0), std::bad_alloc);
    } else {
      try {
        reader.Extract(cabinet, out, 0);
        ADD_FAILURE() << "Extract returned normally";
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), std::string("forced in ") + c.callback);
      }
    }
    EXPECT_TRUE(fault.fired) << "the library never called " << c.callback;
  }
  EXPECT_FALSE(cab::CallbackErrorPending());
  reader.Extract(cabinet, out, 0);
  EXPECT_EQ(ReadFileBytes(dir / "out/sub/b.txt"), std::string(5000, 'b'));
}

INSTANTIATE_TEST_SUITE_P(
    EachCallback, CallbackFault,
    testing::Values(Case{"alloc", 1, Raise::kRuntimeError}, Case{"alloc", 3, Raise::kBadAlloc},
                    Case{"free", 1, Raise::kRuntimeError}, Case{"open", 1, Raise::kRuntimeError},
                    Case{"read", 2, Raise::kRuntimeError}, Case{"write", 1, Raise::kBadAlloc},
                    Case{"close", 1, Raise::kRuntimeError}, Case{"seek", 1, Raise::kRuntimeError},
                    Case{"notify", 1, Raise::kRuntimeError}, Case{"notify", 3, Raise::kBadAlloc}),
    [](const testing::TestParamInfo<Case>& info) {
      return std::string(info.param.callback) + std::to_string(info.param.nth) +
             (info.param.raise == Raise::kBadAlloc ? "BadAlloc" : "");
    });

// The context is made and destroyed through the same callbacks: a throw there leaves FDICreate
// (or FDIDestroy) as the recorded error, not as an unwinding through the library.
TEST(CallbackFaultAroundTheContext, CreateAndDestroy) {
  {
    cab::TKXCabReader reader;
    HookGuard hook({"alloc", 1, Raise::kRuntimeError});
    EXPECT_THROW(reader.FDIHandle(), std::runtime_error);
    EXPECT_TRUE(fault.fired);
  }
  {
    cab::TKXCabReader reader;
    reader.FDIHandle();
    HookGuard hook({"free", 1, Raise::kRuntimeError});
    EXPECT_THROW(reader.FreeFDIHandle(), std::runtime_error);
    EXPECT_TRUE(fault.fired);
    EXPECT_EQ(reader.FDIHandle(), reader.FDIHandle());  // a fresh context can be made
  }
  EXPECT_FALSE(cab::CallbackErrorPending());
}

}  // namespace
