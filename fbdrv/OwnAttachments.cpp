#include "fbdrv/OwnAttachments.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace tolvane::fbdrv {
namespace {

std::mutex& Guard() {
  static std::mutex guard;
  return guard;
}

std::vector<const void*>& Held() {
  static std::vector<const void*> held;
  return held;
}

}  // namespace

void RememberOwnAttachment(const void* attachment) {
  const std::lock_guard<std::mutex> lock(Guard());
  Held().push_back(attachment);
}

void ForgetOwnAttachment(const void* attachment) {
  const std::lock_guard<std::mutex> lock(Guard());
  std::vector<const void*>& held = Held();
  const auto found = std::find(held.begin(), held.end(), attachment);
  if (found != held.end()) held.erase(found);
}

bool IsOwnAttachment(const void* attachment) {
  const std::lock_guard<std::mutex> lock(Guard());
  const std::vector<const void*>& held = Held();
  return std::find(held.begin(), held.end(), attachment) != held.end();
}

}  // namespace tolvane::fbdrv
