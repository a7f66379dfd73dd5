#include "script_runner/scripts/ScriptText.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "runtime/Platform.h"

namespace tolvane {

ScriptText& ScriptText::operator=(ScriptText&& other) noexcept {
  if (this != &other) {
    Release();
    platform_ = std::exchange(other.platform_, nullptr);
    buffer_ = std::exchange(other.buffer_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void ScriptText::Release() noexcept {
  if (buffer_ != nullptr) platform_->FreeBuffer(std::exchange(buffer_, nullptr));
  size_ = 0;
}

ScriptText ReadScriptText(Platform& platform, std::size_t total, const GetScriptSegment& get_segment) {
  char* const buffer = platform.AllocateBuffer(total + 1);
  if (buffer == nullptr) throw EOutOfMemory(kSOutOfMemory);
  ScriptText text(platform, buffer, 0);
  std::size_t read = 0;
  while (read < total) {
    const std::size_t wanted = std::min(total - read, kMaxScriptSegment);
    const std::size_t delivered = get_segment(buffer + read, wanted);
    if (delivered == 0) break;
    // A routine that claims more than it was asked for must not move us
    // past the buffer.
    const std::size_t taken = delivered < wanted ? delivered : wanted;
    const bool has_zero = std::memchr(buffer + read, '\0', taken) != nullptr;
    read += taken;
    if (has_zero) break;
  }
  buffer[read] = '\0';
  text.size_ = std::strlen(buffer);
  return text;
}

}  // namespace tolvane
