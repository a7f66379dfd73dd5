// A host BLOB for tests: delivers a text through the get-segment routine in
// segments of at most a chosen size.
#pragma once

#include <ibase.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace tolvane::testing {

class ScriptBlob {
 public:
  // segment 0: as much as the caller asks for.
  explicit ScriptBlob(std::string text, std::size_t segment = 0)
      : text_(std::move(text)), segment_(segment) {
    callback_.blob_get_segment = &GetSegment;
    callback_.blob_handle = this;
    callback_.blob_total_length = static_cast<ISC_LONG>(text_.size());
  }
  ScriptBlob(const ScriptBlob&) = delete;
  ScriptBlob& operator=(const ScriptBlob&) = delete;

  blobcallback* Callback() { return &callback_; }
  int Calls() const { return calls_; }

 private:
  static short GetSegment(void* handle, ISC_UCHAR* buffer, ISC_USHORT size, ISC_USHORT* length) {
    auto* self = static_cast<ScriptBlob*>(handle);
    ++self->calls_;
    std::size_t n = std::min<std::size_t>(size, self->text_.size() - self->position_);
    if (self->segment_ != 0) n = std::min(n, self->segment_);
    std::memcpy(buffer, self->text_.data() + self->position_, n);
    self->position_ += n;
    *length = static_cast<ISC_USHORT>(n);
    return 0;
  }

  std::string text_;
  std::size_t segment_;
  std::size_t position_ = 0;
  int calls_ = 0;
  blobcallback callback_{};
};

}  // namespace tolvane::testing
