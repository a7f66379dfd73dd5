// A script held in memory and handed out the way a server hands out a BLOB
// argument: through a blobcallback whose get-segment routine delivers the
// bytes in segments of a chosen size.
#pragma once

#include <ibase.h>

#include <cstddef>
#include <string>

namespace tolvane_exec {

class ScriptBlob {
 public:
  // Throws std::length_error when the script is longer than a BLOB length field holds.
  ScriptBlob(std::string bytes, unsigned segment_size);
  ScriptBlob(const ScriptBlob&) = delete;
  ScriptBlob& operator=(const ScriptBlob&) = delete;

  // Valid while this object lives; its handle points back here.
  blobcallback* Callback() { return &callback_; }

 private:
  static short GetSegment(void* handle, ISC_UCHAR* buffer, ISC_USHORT buffer_size, ISC_USHORT* delivered);

  std::string bytes_;
  std::size_t position_ = 0;
  std::size_t segment_left_ = 0;  // bytes of the current segment not yet delivered
  unsigned segment_size_;
  blobcallback callback_{};
};

}  // namespace tolvane_exec
