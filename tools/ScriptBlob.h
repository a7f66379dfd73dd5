// A script handed out the way a server hands out a BLOB argument: through a
// blobcallback whose get-segment routine delivers the bytes in segments of a
// chosen size. A script file is read segment by segment as the module asks,
// so the host never holds a second copy of a large script; standard input is
// held in memory.
#pragma once

#include <ibase.h>

#include <cstddef>
#include <memory>
#include <string>

namespace tolvane::exec {

class ScriptBlob {
 public:
  // Throws std::length_error when the script is longer than a BLOB length field holds.
  ScriptBlob(std::string bytes, unsigned segment_size);
  // The script file at path, read as the segments are asked for. Throws
  // std::runtime_error when it cannot be opened.
  static std::unique_ptr<ScriptBlob> FromFile(const std::string& path, unsigned segment_size);
  ~ScriptBlob();
  ScriptBlob(const ScriptBlob&) = delete;
  ScriptBlob& operator=(const ScriptBlob&) = delete;

  // Valid while this object lives; its handle points back here.
  blobcallback* Callback() { return &callback_; }

 private:
  ScriptBlob(int fd, std::size_t size, unsigned segment_size);
  void SetLength(std::size_t size);
  // Copies count bytes at position_ into buffer; false when the file fails.
  bool Read(ISC_UCHAR* buffer, std::size_t count);
  static short GetSegment(void* handle, ISC_UCHAR* buffer, ISC_USHORT buffer_size, ISC_USHORT* delivered);

  std::string bytes_;
  int fd_ = -1;  // the script file, when the script is read from one
  std::size_t size_ = 0;
  std::size_t position_ = 0;
  std::size_t segment_left_ = 0;  // bytes of the current segment not yet delivered
  unsigned segment_size_;
  blobcallback callback_{};
};

}  // namespace tolvane::exec
