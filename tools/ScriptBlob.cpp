#include "tools/ScriptBlob.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "runtime/Platform.h"

namespace tolvane::exec {

ScriptBlob::ScriptBlob(std::string bytes, unsigned segment_size)
    : bytes_(std::move(bytes)), segment_size_(segment_size) {
  SetLength(bytes_.size());
}

ScriptBlob::ScriptBlob(int fd, std::size_t size, unsigned segment_size)
    : fd_(fd), segment_size_(segment_size) {
  try {
    SetLength(size);
  } catch (...) {
    DefaultPlatform().CloseFile(fd_);
    throw;
  }
}

std::unique_ptr<ScriptBlob> ScriptBlob::FromFile(const std::string& path, unsigned segment_size) {
  Platform& platform = DefaultPlatform();
  FileFacts facts;
  int error = 0;
  const int fd = platform.OpenForReading(path, &facts, &error);
  if (fd < 0) throw std::runtime_error("cannot read " + path + ": " + platform.ErrorText(error));
  if (!facts.regular) {
    platform.CloseFile(fd);
    throw std::runtime_error("cannot read " + path + ": not a regular file");
  }
  // Past what size_t holds is past what a BLOB holds too: SetLength refuses it.
  const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(facts.size, SIZE_MAX));
  return std::unique_ptr<ScriptBlob>(new ScriptBlob(fd, size, segment_size));
}

ScriptBlob::~ScriptBlob() {
  if (fd_ >= 0) DefaultPlatform().CloseFile(fd_);
}

void ScriptBlob::SetLength(std::size_t size) {
  if (size > static_cast<std::size_t>(std::numeric_limits<ISC_LONG>::max())) {
    throw std::length_error("the script is longer than a BLOB can be");
  }
  size_ = size;
  const auto length = static_cast<ISC_LONG>(size);
  callback_.blob_get_segment = &ScriptBlob::GetSegment;
  callback_.blob_handle = this;
  callback_.blob_number_segments =
      static_cast<ISC_LONG>((size + segment_size_ - 1) / segment_size_);
  callback_.blob_max_segment = std::min<ISC_LONG>(length, static_cast<ISC_LONG>(segment_size_));
  callback_.blob_total_length = length;
}

bool ScriptBlob::Read(ISC_UCHAR* buffer, std::size_t count) {
  if (fd_ < 0) {
    std::memcpy(buffer, bytes_.data() + position_, count);
    return true;
  }
  Platform& platform = DefaultPlatform();
  std::size_t done = 0;
  while (done < count) {
    int error = 0;
    const long n = platform.ReadAt(fd_, buffer + done, count - done, position_ + done, &error);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Like a server's: one call never crosses a segment's end; a buffer shorter
// than the segment gets a fragment and the rest comes with the next call. A
// file that fails or shrinks ends the BLOB there, as an empty segment does.
short ScriptBlob::GetSegment(void* handle, ISC_UCHAR* buffer, ISC_USHORT buffer_size,
                             ISC_USHORT* delivered) {
  auto* self = static_cast<ScriptBlob*>(handle);
  *delivered = 0;
  if (self->position_ >= self->size_) return blb_got_eof;
  if (self->segment_left_ == 0) {
    self->segment_left_ = std::min<std::size_t>(self->segment_size_, self->size_ - self->position_);
  }
  const std::size_t count = std::min<std::size_t>(buffer_size, self->segment_left_);
  if (!self->Read(buffer, count)) {
    self->position_ = self->size_;
    return blb_got_eof;
  }
  self->position_ += count;
  self->segment_left_ -= count;
  *delivered = static_cast<ISC_USHORT>(count);
  return self->segment_left_ == 0 ? blb_got_full_segment : blb_got_fragment;
}

}  // namespace tolvane::exec
