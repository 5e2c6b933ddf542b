#include "platform/Platform.h"

#include <atomic>

namespace platform {

Platform& SystemPlatform();

namespace {
std::atomic<Platform*> installed{nullptr};
}

Platform& Current() {
  Platform* replacement = installed.load(std::memory_order_acquire);
  return replacement ? *replacement : SystemPlatform();
}

ScopedPlatform::ScopedPlatform(Platform& replacement)
    : previous_(installed.exchange(&replacement, std::memory_order_acq_rel)) {}

ScopedPlatform::~ScopedPlatform() {
  installed.store(previous_, std::memory_order_release);
}

}  // namespace platform
