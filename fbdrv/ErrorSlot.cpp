#include "fbdrv/ErrorSlot.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "fbdrv/DriverFailure.h"
#include "fbdrv/DriverTexts.h"

namespace tolvane::fbdrv {

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(needed > 0 ? static_cast<std::size_t>(needed) : 0, '\0');
  if (needed > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

void ErrorSlot::Set(std::string text, const DriverFailureDetails& details) noexcept {
  std::string record;
  try {
    if (!text.empty()) record = EncodeFailureDetails(details);
  } catch (...) {
    record.clear();  // without memory for the record the text goes alone
  }
  // The text is cut, never the record: a reader needs the record whole.
  const std::size_t room = record.empty() ? kMaxLength : kMaxLength - 1 - record.size();
  if (text.size() > room) text.resize(room);
  try {
    if (!record.empty()) {
      text.reserve(text.size() + 1 + record.size());
      text += '\0';
      text += record;
    }
  } catch (...) {
    // The reserve failed before anything was appended: the text goes alone.
  }
  report_ = std::move(text);
}

DriverResult ErrorSlot::Keep() noexcept {
  try {
    throw;
  } catch (const DriverFailure& failure) {
    try {
      Set(failure.Text(), failure.Details());
    } catch (...) {
      report_.clear();
    }
    return failure.Code();
  } catch (const std::bad_alloc&) {
    try {
      Set(texts::kOutOfMemory);
    } catch (...) {
      report_.clear();
    }
    return kDriverOutOfMemory;
  } catch (const std::exception& failure) {
    try {
      Set(FormatText(texts::kUnexpectedFailure, failure.what()));
    } catch (...) {
      report_.clear();
    }
    return kDriverSqlError;
  } catch (...) {
    try {
      Set(texts::kUnknownFailure);
    } catch (...) {
      report_.clear();
    }
    return kDriverSqlError;
  }
}

DriverResult ErrorSlot::GetText(char* buffer) const noexcept {
  if (buffer == nullptr) return kDriverInvalidParameter;
  std::memcpy(buffer, report_.c_str(), report_.size() + 1);
  return kDriverOk;
}

DriverResult ErrorSlot::GetLength(std::int16_t* length) const noexcept {
  if (length == nullptr) return kDriverInvalidParameter;
  *length = static_cast<std::int16_t>(report_.size());
  return kDriverOk;
}

}  // namespace tolvane::fbdrv
