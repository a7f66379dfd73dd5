// A script as a host hands it over: a BLOB read in segments into the run's one
// copy of it. Every front end reads its BLOB through ReadScriptText; only the
// routine that fetches one segment is the host's own.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace tolvane {

class Platform;

// The most one segment request asks for (a segment's length is 16 bits).
inline constexpr std::size_t kMaxScriptSegment = 65535;

// Fills into with up to wanted bytes and returns how many it delivered; 0
// ends the reading (the BLOB's end, or a host that cannot deliver more).
using GetScriptSegment = std::function<std::size_t(char* into, std::size_t wanted)>;

class ScriptText;
// Reads a BLOB of total bytes (as its host tells its length) through
// get_segment. The script ends at its first zero byte, so the reading stops
// at the segment that holds one: a huge BLOB of zeros is never read whole. A
// segment that claims more than was asked for counts as what was asked for.
// Raises EOutOfMemory when the buffer cannot be had.
ScriptText ReadScriptText(Platform& platform, std::size_t total, const GetScriptSegment& get_segment);

// The script's bytes in a buffer of the platform's, released with it.
class ScriptText {
 public:
  ScriptText() = default;
  ScriptText(Platform& platform, char* buffer, std::size_t size)
      : platform_(&platform), buffer_(buffer), size_(size) {}
  ~ScriptText() { Release(); }
  ScriptText(ScriptText&& other) noexcept { *this = std::move(other); }
  ScriptText& operator=(ScriptText&& other) noexcept;
  ScriptText(const ScriptText&) = delete;
  ScriptText& operator=(const ScriptText&) = delete;

  std::string_view View() const { return std::string_view(buffer_ != nullptr ? buffer_ : "", size_); }

 private:
  friend ScriptText ReadScriptText(Platform&, std::size_t, const GetScriptSegment&);
  void Release() noexcept;

  Platform* platform_ = nullptr;
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace tolvane
