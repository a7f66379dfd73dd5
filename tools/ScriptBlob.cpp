#include "tools/ScriptBlob.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace tolvane_exec {

ScriptBlob::ScriptBlob(std::string bytes, unsigned segment_size)
    : bytes_(std::move(bytes)), segment_size_(segment_size) {
  if (bytes_.size() > static_cast<std::size_t>(std::numeric_limits<ISC_LONG>::max())) {
    throw std::length_error("the script is longer than a BLOB can be");
  }
  const auto length = static_cast<ISC_LONG>(bytes_.size());
  callback_.blob_get_segment = &ScriptBlob::GetSegment;
  callback_.blob_handle = this;
  callback_.blob_number_segments =
      static_cast<ISC_LONG>((bytes_.size() + segment_size_ - 1) / segment_size_);
  callback_.blob_max_segment = std::min<ISC_LONG>(length, static_cast<ISC_LONG>(segment_size_));
  callback_.blob_total_length = length;
}

// Like a server's: one call never crosses a segment's end; a buffer shorter
// than the segment gets a fragment and the rest comes with the next call.
short ScriptBlob::GetSegment(void* handle, ISC_UCHAR* buffer, ISC_USHORT buffer_size,
                             ISC_USHORT* delivered) {
  auto* self = static_cast<ScriptBlob*>(handle);
  if (self->position_ >= self->bytes_.size()) {
    *delivered = 0;
    return blb_got_eof;
  }
  if (self->segment_left_ == 0) {
    self->segment_left_ = std::min<std::size_t>(self->segment_size_, self->bytes_.size() - self->position_);
  }
  const std::size_t count = std::min<std::size_t>(buffer_size, self->segment_left_);
  std::memcpy(buffer, self->bytes_.data() + self->position_, count);
  self->position_ += count;
  self->segment_left_ -= count;
  *delivered = static_cast<ISC_USHORT>(count);
  return self->segment_left_ == 0 ? blb_got_full_segment : blb_got_fragment;
}

}  // namespace tolvane_exec
