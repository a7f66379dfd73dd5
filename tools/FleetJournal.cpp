#include "tools/FleetJournal.h"

#include <stdexcept>

#include "runtime/Platform.h"

namespace tolvane::exec {
namespace {

// Appends the UTF-8 form of code point to out.
void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

bool JsonStringMember(std::string_view object, std::string_view name, std::string* value) {
  std::string key(1, '"');
  key.append(name).append(1, '"');
  constexpr std::string_view kBlanks = " \t\r";
  // Inside a string a quote is always escaped: a key that follows { or ,
  // (blanks between allowed, as a JSON tool that rewrote the file puts
  // them) is a member, never text of another string.
  std::size_t start = 0;
  for (std::size_t at = 0;; at += key.size()) {
    at = object.find(key, at);
    if (at == std::string_view::npos) return false;
    const std::size_t before = object.find_last_not_of(kBlanks, at == 0 ? 0 : at - 1);
    if (at == 0 || before == std::string_view::npos || (object[before] != '{' && object[before] != ','))
      continue;
    std::size_t colon = object.find_first_not_of(kBlanks, at + key.size());
    if (colon == std::string_view::npos || object[colon] != ':') continue;
    const std::size_t quote = object.find_first_not_of(kBlanks, colon + 1);
    if (quote == std::string_view::npos || object[quote] != '"') return false;  // null, a number
    start = quote + 1;
    break;
  }
  value->clear();
  for (std::size_t i = start; i < object.size(); ++i) {
    const char c = object[i];
    if (c == '"') return true;
    if (c != '\\') {
      *value += c;
      continue;
    }
    if (++i >= object.size()) return false;
    switch (object[i]) {
      case 'n': *value += '\n'; break;
      case 'r': *value += '\r'; break;
      case 't': *value += '\t'; break;
      case 'b': *value += '\b'; break;
      case 'f': *value += '\f'; break;
      case 'u': {
        if (i + 4 >= object.size()) return false;
        const unsigned code = std::stoul(std::string(object.substr(i + 1, 4)), nullptr, 16);
        // \u00XX stands for a byte that was not UTF-8: the byte itself.
        if (code < 0x100) *value += static_cast<char>(code);
        else AppendUtf8(*value, code);
        i += 4;
        break;
      }
      default: *value += object[i];
    }
  }
  return false;
}

FleetJournal::FleetJournal(Platform& platform, const std::string& path)
    : platform_(platform), path_(path) {
  FileFacts facts;
  int error = 0;
  fd_ = platform_.OpenForAppend(path_, &facts, &error);
  if (fd_ < 0)
    throw std::runtime_error("cannot open the journal " + path_ + ": " + platform_.ErrorText(error));
  if (!facts.regular || facts.names != 1) {
    platform_.CloseFile(fd_);
    fd_ = -1;
    throw std::runtime_error("the journal " + path_ + " is not a plain file with one name");
  }
  size_ = static_cast<long long>(facts.size);
  // A killed run's half line would join the next one: cut back to the last
  // line feed.
  std::string content;
  if (size_ > 0 && platform_.ReadWholeFile(path_, &content) == 0) {
    const std::size_t whole = content.rfind('\n') == std::string::npos ? 0 : content.rfind('\n') + 1;
    if (whole < content.size() && platform_.TruncateFile(fd_, static_cast<long long>(whole)) == 0)
      size_ = static_cast<long long>(whole);
  }
}

FleetJournal::~FleetJournal() {
  if (fd_ >= 0) platform_.CloseFile(fd_);
}

bool FleetJournal::Append(std::string_view line) noexcept {
  if (fd_ < 0) return false;
  int error = 0;
  const long written = platform_.WriteFile(fd_, line.data(), line.size(), &error);
  if (written == static_cast<long>(line.size())) {
    size_ += written;
    return true;
  }
  // A reader must find whole lines only.
  platform_.TruncateFile(fd_, size_);
  platform_.CloseFile(fd_);
  fd_ = -1;
  try {
    failure_ = "the journal " + path_ + " could not be written: " +
               platform_.ErrorText(error != 0 ? error : 28 /* ENOSPC: a short write */);
  } catch (...) {
  }
  return false;
}

std::map<std::string, JournalRecord> ReadJournal(Platform& platform, const std::string& path) {
  std::string content;
  if (const int error = platform.ReadWholeFile(path, &content); error != 0)
    throw std::runtime_error("cannot read the journal " + path + ": " + platform.ErrorText(error));
  std::map<std::string, JournalRecord> records;
  for (std::size_t start = 0; start < content.size();) {
    const std::size_t end = content.find('\n', start);
    if (end == std::string::npos) break;  // a killed run's last, half line
    const std::string_view line(content.data() + start, end - start);
    start = end + 1;
    if (line.size() < 2 || line.front() != '{' || line.back() != '}') continue;
    std::string database;
    JournalRecord record;
    try {
      if (!JsonStringMember(line, "target", &database) ||
          !JsonStringMember(line, "status", &record.status))
        continue;
      JsonStringMember(line, "first_failure", &record.first_failure);
      JsonStringMember(line, "script_sha256", &record.script_sha256);
    } catch (const std::logic_error&) {
      continue;  // a \u escape that is not one: not a line of ours
    }
    records[database] = std::move(record);
  }
  return records;
}

}  // namespace tolvane::exec
