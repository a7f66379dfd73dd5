#include "script_runner/IsqlSplitter.h"

#include <climits>
#include <cstring>

namespace tolvane {

namespace {

// What a byte means to the scan. A byte that starts the terminator also has
// kTerminatorStart; a blank never does, as a terminator holds no blank.
enum : unsigned char {
  kPlain = 0,
  kBlank = 1,
  kQuote = 2,  // ' or "
  kDash = 3,   // -- starts a line comment
  kSlash = 4,  // /* starts a block comment
  kLetterQ = 5,  // q'<delimiter>...<delimiter>' starts an alternative literal
  kClassMask = 0x7f,
  kTerminatorStart = 0x80,
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

constexpr std::string_view kTerminatorChanged = "changes the terminator; not sent";
constexpr std::string_view kNoNewTerminator = "SET TERM needs the new terminator; the terminator stays";
constexpr std::string_view kDisplaySetting = "an isql display setting; a run displays nothing";
constexpr std::string_view kShow = "isql's metadata display; a run displays nothing";
constexpr std::string_view kDialect = "isql's SQL dialect setting; a run uses its connection's dialect";
constexpr std::string_view kNames = "isql's character set setting; a run uses its connection's";
constexpr std::string_view kAutoDdl =
    "isql's commit setting for DDL; the run decides when its work is committed";
constexpr std::string_view kBadBail = "SET BAIL takes ON or OFF";
constexpr std::string_view kDatabase = "not available inside a run: the database is the call's argument";
constexpr std::string_view kDropDatabase =
    "not available inside a run: a run does not drop the database it runs on";
constexpr std::string_view kInput = "not available inside a run: a run reads only its own script";
constexpr std::string_view kOutput = "not available inside a run: a run has no output to redirect";
constexpr std::string_view kShell = "not available inside a run: a run starts no programs";
constexpr std::string_view kEdit = "not available inside a run: a run has no editor";
constexpr std::string_view kQuit = "not available inside a run: a run ends at the end of its script";

bool SameWord(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != keyword[i]) return false;
  }
  return true;
}

// The words of a statement's head as isql reads its commands: blanks between
// them, each a run of name characters (empty where none stands).
class Words {
 public:
  explicit Words(std::string_view text) : text_(text) {}
  std::string_view Next() {
    SkipBlanks();
    const std::size_t start = pos_;
    while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }
  // Everything up to the next blank.
  std::string_view NextToken() {
    SkipBlanks();
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !IsBlank(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  std::string_view text_;
  std::size_t pos_ = 0;
};

struct Classified {
  ScriptStatement::Kind kind = ScriptStatement::Kind::kSql;
  std::string_view reason;
  bool bail_on = false;
  std::string_view new_terminator;  // SET TERM's, when it has one
};

Classified Skipped(std::string_view reason) {
  return {ScriptStatement::Kind::kSkipped, reason, false, {}};
}

Classified Refused(std::string_view reason) {
  return {ScriptStatement::Kind::kRefused, reason, false, {}};
}

Classified ClassifySet(Words& words) {
  const std::string_view what = words.Next();
  if (SameWord(what, "TERM") || SameWord(what, "TERMINATOR")) {
    const std::string_view terminator = words.NextToken();
    if (terminator.empty()) return Refused(kNoNewTerminator);
    Classified set_term = Skipped(kTerminatorChanged);
    set_term.new_terminator = terminator;
    return set_term;
  }
  if (SameWord(what, "BAIL")) {
    const std::string_view mode = words.Next();
    if (mode.empty() || SameWord(mode, "ON")) return {ScriptStatement::Kind::kSetBail, {}, true, {}};
    if (SameWord(mode, "OFF")) return {ScriptStatement::Kind::kSetBail, {}, false, {}};
    return Refused(kBadBail);
  }
  if (SameWord(what, "SQL")) {
    // SET SQL DIALECT is isql's; anything else after SET SQL is for the server to judge.
    if (SameWord(words.Next(), "DIALECT")) return Skipped(kDialect);
    return {};
  }
  if (SameWord(what, "TIME")) {
    // SET TIME ZONE is SQL in later servers.
    if (SameWord(words.Next(), "ZONE")) return {};
    return Skipped(kDisplaySetting);
  }
  if (SameWord(what, "NAMES")) return Skipped(kNames);
  if (SameWord(what, "AUTODDL") || SameWord(what, "AUTO")) return Skipped(kAutoDdl);
  // STATISTICS is not among these: SET STATISTICS INDEX is SQL.
  static constexpr std::string_view kDisplayWords[] = {
      "ECHO", "LIST",     "COUNT",   "STATS", "STAT", "PLAN",        "PLANONLY",
      "WARNINGS", "WARNING", "WNG", "HEADING", "BLOB", "BLOBDISPLAY"};
  for (std::string_view word : kDisplayWords)
    if (SameWord(what, word)) return Skipped(kDisplaySetting);
  return {};  // SET TRANSACTION, SET GENERATOR, SET STATISTICS, ...: SQL
}

Classified Classify(std::string_view text) {
  Words words(text);
  const std::string_view first = words.Next();
  if (SameWord(first, "SET")) return ClassifySet(words);
  if (SameWord(first, "SHOW")) return Skipped(kShow);
  if (SameWord(first, "CREATE")) {
    const std::string_view what = words.Next();
    if (SameWord(what, "DATABASE") || SameWord(what, "SCHEMA")) return Refused(kDatabase);
    return {};
  }
  if (SameWord(first, "DROP")) {
    if (SameWord(words.Next(), "DATABASE")) return Refused(kDropDatabase);
    return {};
  }
  if (SameWord(first, "CONNECT")) return Refused(kDatabase);
  if (SameWord(first, "INPUT") || SameWord(first, "IN")) return Refused(kInput);
  if (SameWord(first, "OUTPUT") || SameWord(first, "OUT")) return Refused(kOutput);
  if (SameWord(first, "SHELL")) return Refused(kShell);
  if (SameWord(first, "EDIT")) return Refused(kEdit);
  if (SameWord(first, "QUIT") || SameWord(first, "EXIT")) return Refused(kQuit);
  return {};
}

int ClampedLine(long long line) { return line > INT_MAX ? INT_MAX : static_cast<int>(line); }

}  // namespace

IsqlSplitter::IsqlSplitter(std::string_view script) : script_(script) {
  auto set = [this](std::string_view bytes, unsigned char cls) {
    for (char c : bytes) classes_[static_cast<unsigned char>(c)] = cls;
  };
  set(" \t\r\n\f\v", kBlank);
  set("'\"", kQuote);
  set("-", kDash);
  set("/", kSlash);
  set("qQ", kLetterQ);
  SetTerminator(";");
}

void IsqlSplitter::SetTerminator(std::string_view terminator) {
  if (!terminator_.empty()) classes_[static_cast<unsigned char>(terminator_[0])] &= kClassMask;
  terminator_ = terminator;
  classes_[static_cast<unsigned char>(terminator_[0])] |= kTerminatorStart;
}

std::size_t IsqlSplitter::SkipQuotedOrComment(std::size_t pos) const {
  const char* const data = script_.data();
  const std::size_t n = script_.size();
  // The end of the text from `from` on up to and including `close`, or n.
  auto past = [&](std::size_t from, char close) -> std::size_t {
    if (from >= n) return n;
    const void* found = std::memchr(data + from, close, n - from);
    return found == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(found) - data) + 1;
  };
  switch (classes_[static_cast<unsigned char>(data[pos])] & kClassMask) {
    case kQuote:
      // A doubled quote inside reads as the literal ending and another one
      // starting at once, which ends in the same place.
      return past(pos + 1, data[pos]);
    case kDash:
      if (pos + 1 < n && data[pos + 1] == '-') {
        std::size_t end = pos + 2;
        while (end < n && data[end] != '\r' && data[end] != '\n') ++end;
        return end;
      }
      return pos;
    case kSlash:
      if (pos + 1 < n && data[pos + 1] == '*') {
        for (std::size_t end = pos + 2; end < n;) {
          end = past(end, '*');
          if (end < n && data[end] == '/') return end + 1;
        }
        return n;
      }
      return pos;
    case kLetterQ: {
      // Only where a word starts: in "seq'...'" the quote opens a plain literal.
      if ((pos > 0 && IsNameChar(data[pos - 1])) || pos + 2 >= n || data[pos + 1] != '\'') return pos;
      char close = data[pos + 2];
      switch (close) {
        case '(': close = ')'; break;
        case '[': close = ']'; break;
        case '{': close = '}'; break;
        case '<': close = '>'; break;
        case ' ': case '\t': case '\r': case '\n':
          return pos;  // the server refuses these; here q is a name and a plain literal follows
        default: break;
      }
      for (std::size_t end = pos + 3; end < n;) {
        end = past(end, close);
        if (end < n && data[end] == '\'') return end + 1;
      }
      return n;
    }
    default:
      return pos;
  }
}

std::size_t IsqlSplitter::SkipBlanksAndComments(std::size_t pos) const {
  const std::size_t n = script_.size();
  while (pos < n) {
    const unsigned char cls = classes_[static_cast<unsigned char>(script_[pos])] & kClassMask;
    if (cls == kBlank) {
      ++pos;
    } else if (cls == kDash || cls == kSlash) {
      const std::size_t after = SkipQuotedOrComment(pos);
      if (after == pos) break;
      pos = after;
    } else {
      break;
    }
  }
  return pos;
}

bool IsqlSplitter::TerminatorAt(std::size_t pos) const {
  return script_.size() - pos >= terminator_.size() &&
         std::memcmp(script_.data() + pos, terminator_.data(), terminator_.size()) == 0;
}

int IsqlSplitter::LineAt(std::size_t pos) {
  // CR, LF and CR LF each end one line: count every CR and every LF that
  // does not follow a CR.
  const char* const data = script_.data();
  long long lines = lines_before_;
  for (std::size_t i = counted_to_; i < pos; ++i) {
    if (data[i] == '\r' || (data[i] == '\n' && (i == 0 || data[i - 1] != '\r'))) ++lines;
  }
  counted_to_ = pos;
  lines_before_ = lines;
  return ClampedLine(lines);
}

bool IsqlSplitter::Next(ScriptStatement* out) {
  const std::size_t n = script_.size();
  const unsigned char* const bytes = reinterpret_cast<const unsigned char*>(script_.data());
  while (true) {
    const std::size_t start = SkipBlanksAndComments(pos_);
    if (start >= n) {
      pos_ = n;
      return false;
    }
    // Scan to the terminator; `end` follows the last byte that is not blank.
    std::size_t pos = start;
    std::size_t end = start;
    bool terminated = false;
    while (pos < n) {
      const unsigned char cls = classes_[bytes[pos]];
      if (cls == kPlain) {
        end = ++pos;
        continue;
      }
      if (cls == kBlank) {
        ++pos;
        continue;
      }
      if ((cls & kClassMask) != kPlain) {
        const std::size_t after = SkipQuotedOrComment(pos);
        if (after != pos) {
          // A line comment's trailing blanks, or those of a literal left
          // open, are no part of the statement.
          for (end = after; IsBlank(script_[end - 1]);) --end;
          pos = after;
          continue;
        }
      }
      if ((cls & kTerminatorStart) != 0 && TerminatorAt(pos)) {
        terminated = true;
        break;
      }
      end = ++pos;
    }
    pos_ = terminated ? pos + terminator_.size() : n;
    if (end == start) continue;  // an empty statement

    const std::string_view text = script_.substr(start, end - start);
    const Classified classified = Classify(text);
    out->kind = classified.kind;
    out->text = text;
    out->index = LineAt(start);
    out->first_line = ClampedLine(static_cast<long long>(out->index) + 1);
    out->last_line = ClampedLine(static_cast<long long>(LineAt(end - 1)) + 1);
    out->reason = classified.reason;
    out->bail_on = classified.bail_on;
    if (!classified.new_terminator.empty()) SetTerminator(classified.new_terminator);
    return true;
  }
}

}  // namespace tolvane
