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

void ErrorSlot::Set(std::string text) noexcept {
  if (text.size() > kMaxLength) text.resize(kMaxLength);
  text_ = std::move(text);
}

DriverResult ErrorSlot::Keep() noexcept {
  try {
    throw;
  } catch (const DriverFailure& failure) {
    try {
      Set(failure.Text());
    } catch (...) {
      text_.clear();
    }
    return failure.Code();
  } catch (const std::bad_alloc&) {
    // Assigning a short literal into a string that may already hold capacity;
    // if even that fails, an empty text is the honest answer.
    try {
      text_ = texts::kOutOfMemory;
    } catch (...) {
      text_.clear();
    }
    return kDriverOutOfMemory;
  } catch (const std::exception& failure) {
    try {
      Set(FormatText(texts::kUnexpectedFailure, failure.what()));
    } catch (...) {
      text_.clear();
    }
    return kDriverSqlError;
  } catch (...) {
    try {
      text_ = texts::kUnknownFailure;
    } catch (...) {
      text_.clear();
    }
    return kDriverSqlError;
  }
}

DriverResult ErrorSlot::GetText(char* buffer) const noexcept {
  if (buffer == nullptr) return kDriverInvalidParameter;
  std::memcpy(buffer, text_.c_str(), text_.size() + 1);
  return kDriverOk;
}

DriverResult ErrorSlot::GetLength(std::int16_t* length) const noexcept {
  if (length == nullptr) return kDriverInvalidParameter;
  *length = static_cast<std::int16_t>(text_.size());
  return kDriverOk;
}

}  // namespace tolvane::fbdrv
