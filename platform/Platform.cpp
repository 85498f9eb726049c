#include "platform/Platform.h"

namespace plat {
namespace {
Platform* current = nullptr;
}  // namespace

Platform& Current() {
  return current ? *current : Native();
}

ScopedPlatform::ScopedPlatform(Platform& replacement) : previous_(current) {
  current = &replacement;
}
ScopedPlatform::~ScopedPlatform() {
  current = previous_;
}

}  // namespace plat
