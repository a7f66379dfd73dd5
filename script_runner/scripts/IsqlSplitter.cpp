#include "script_runner/scripts/IsqlSplitter.h"

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
constexpr std::string_view kTerminatorReset =
    "SET TERM without a new terminator: the terminator is ; again, as in isql";
constexpr std::string_view kUnterminated =
    "unterminated statement: the script ends before its terminator, and isql does not run it";
constexpr std::string_view kDisplaySetting = "an isql display setting; a run displays nothing";
constexpr std::string_view kShow = "isql's metadata display; a run displays nothing";
constexpr std::string_view kHelp = "isql's help; a run displays nothing";
constexpr std::string_view kKeepTranParams =
    "isql's reuse of SET TRANSACTION's parameters; a run starts each transaction with its own";
constexpr std::string_view kLocalTimeout = "isql's statement timeout; a run sets none";
constexpr std::string_view kBadBail = "SET BAIL takes ON or OFF";
constexpr std::string_view kBadSwitch = "this SET command takes ON or OFF";
constexpr std::string_view kBadRowCount = "SET ROWCOUNT takes a number of rows (0: no limit)";
constexpr std::string_view kBadDialect = "SET SQL DIALECT takes 1, 2 or 3";
constexpr std::string_view kBadNames = "SET NAMES needs a character set";
constexpr std::string_view kBadSet = "not an isql SET command";
constexpr std::string_view kDatabase = "not available inside a run: the database is the call's argument";
constexpr std::string_view kDropDatabase =
    "not available inside a run: a run does not drop the database it runs on";
constexpr std::string_view kInput = "not available inside a run: a run reads only its own script";
constexpr std::string_view kOutput = "not available inside a run: a run has no output to redirect";
constexpr std::string_view kShell = "not available inside a run: a run starts no programs";
constexpr std::string_view kEdit = "not available inside a run: a run has no editor";
constexpr std::string_view kBlobDump = "not available inside a run: a run writes no files of its own";
constexpr std::string_view kBlobView = "isql's BLOB viewer; a run displays nothing";
constexpr std::string_view kBulkInsert =
    "not available inside a run: SET BULK_INSERT reads its rows from isql's input";
constexpr std::string_view kInteractive =
    "not available inside a run: the command asks for rows interactively";
constexpr std::string_view kAutoTerm =
    "not available inside a run: the terminator changes only by SET TERM";

bool SameWord(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != keyword[i]) return false;
  }
  return true;
}

// isql's abbreviations: the word is keyword or its first `least` letters
// or more (least 0: the whole keyword only).
bool Abbreviates(std::string_view word, std::string_view keyword, std::size_t least) {
  if (least == 0) return SameWord(word, keyword);
  return word.size() >= least && word.size() <= keyword.size() &&
         SameWord(word, keyword.substr(0, word.size()));
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
  ScriptStatement::Command command = ScriptStatement::Command::kNone;
  long long number = 0;
  std::string_view word;
};

Classified Skipped(std::string_view reason) {
  Classified skipped;
  skipped.kind = ScriptStatement::Kind::kSkipped;
  skipped.reason = reason;
  return skipped;
}

Classified Refused(std::string_view reason) {
  Classified refused;
  refused.kind = ScriptStatement::Kind::kRefused;
  refused.reason = reason;
  return refused;
}

Classified Command(ScriptStatement::Command command, long long number = 0,
                   std::string_view word = {}) {
  Classified classified;
  classified.kind = ScriptStatement::Kind::kCommand;
  classified.command = command;
  classified.number = number;
  classified.word = word;
  return classified;
}

// ON, OFF, or nothing (isql toggles).
Classified Switch(Words& words, ScriptStatement::Command command) {
  const std::string_view value = words.Next();
  if (value.empty()) return Command(command, ScriptStatement::kToggle);
  if (SameWord(value, "ON")) return Command(command, ScriptStatement::kOn);
  if (SameWord(value, "OFF")) return Command(command, ScriptStatement::kOff);
  return Refused(kBadSwitch);
}

// A whole number of 0 or more, or -1.
long long Number(std::string_view text) {
  if (text.empty() || text.size() > 18) return -1;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

Classified ClassifySet(Words& words) {
  using C = ScriptStatement::Command;
  const std::string_view what = words.Next();
  if (Abbreviates(what, "TERMINATOR", 4)) {
    const std::string_view terminator = words.NextToken();
    if (terminator.empty()) {
      Classified reset = Skipped(kTerminatorReset);
      reset.new_terminator = ";";
      return reset;
    }
    Classified set_term = Skipped(kTerminatorChanged);
    set_term.new_terminator = terminator;
    return set_term;
  }
  if (SameWord(what, "BAIL")) {
    const std::string_view mode = words.Next();
    Classified bail;
    bail.kind = ScriptStatement::Kind::kSetBail;
    if (mode.empty() || SameWord(mode, "ON")) bail.bail_on = true;
    else if (!SameWord(mode, "OFF")) return Refused(kBadBail);
    return bail;
  }
  if (SameWord(what, "SQL")) {
    // SET SQL DIALECT is isql's; anything else after SET SQL is for the server to judge.
    if (!SameWord(words.Next(), "DIALECT")) return {};
    const long long dialect = Number(words.NextToken());
    if (dialect < 1 || dialect > 3) return Refused(kBadDialect);
    return Command(C::kSqlDialect, dialect);
  }
  if (SameWord(what, "TIME")) {
    // SET TIME ZONE is SQL in later servers.
    if (SameWord(words.Next(), "ZONE")) return {};
    return Skipped(kDisplaySetting);
  }
  if (SameWord(what, "NAMES")) {
    const std::string_view names = words.NextToken();
    if (names.empty()) return Refused(kBadNames);
    return Command(C::kNames, 0, names);
  }
  if (Abbreviates(what, "AUTODDL", 4)) return Switch(words, C::kAutoDdl);
  if (SameWord(what, "PLANONLY")) return Switch(words, C::kPlanOnly);
  if (SameWord(what, "ROWCOUNT") || SameWord(what, "MAXROWS")) {
    const std::string_view rows = words.NextToken();
    const long long limit = rows.empty() ? 0 : Number(rows);
    if (limit < 0 || limit > 0x7fffffff) return Refused(kBadRowCount);
    return Command(C::kRowCount, limit);
  }
  if (Abbreviates(what, "KEEP_TRAN_PARAMS", 9)) return Skipped(kKeepTranParams);
  if (SameWord(what, "LOCAL_TIMEOUT")) return Skipped(kLocalTimeout);
  if (SameWord(what, "BULK_INSERT")) return Refused(kBulkInsert);
  if (SameWord(what, "AUTOTERM")) return Refused(kAutoTerm);
  // STATISTICS is not among these: SET STATISTICS INDEX is SQL.
  static constexpr struct {
    std::string_view keyword;
    std::size_t least;
  } kDisplayWords[] = {
      {"ECHO", 0},     {"LIST", 0},          {"COUNT", 0},        {"STATS", 4},
      {"PLAN", 0},     {"WARNINGS", 7},      {"WNG", 0},          {"HEADING", 0},
      {"BLOBDISPLAY", 4}, {"WIDTH", 0},      {"SQLDA_DISPLAY", 0}, {"EXPLAIN", 0},
      {"EXEC_PATH_DISPLAY", 0}, {"PER_TABLE_STATS", 0}, {"WIRE_STATS", 0}};
  for (const auto& display : kDisplayWords)
    if (Abbreviates(what, display.keyword, display.least)) return Skipped(kDisplaySetting);
  if (what.empty()) return Skipped(kDisplaySetting);  // SET alone lists the settings
  // SET TRANSACTION, GENERATOR, STATISTICS, ROLE, TRUSTED ROLE, and what
  // later servers took into SQL (TIME ZONE, BIND, DECFLOAT, ...): the server judges.
  return {};
}

Classified Classify(std::string_view text) {
  Words words(text);
  if (text.front() == '?') return Skipped(kHelp);
  const std::string_view first = words.Next();
  if (SameWord(first, "SET")) return ClassifySet(words);
  if (SameWord(first, "SHOW")) return Skipped(kShow);
  if (SameWord(first, "HELP")) return Skipped(kHelp);
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
  if (Abbreviates(first, "INPUT", 2)) return Refused(kInput);
  if (Abbreviates(first, "OUTPUT", 3)) return Refused(kOutput);
  if (SameWord(first, "SHELL")) return Refused(kShell);
  if (SameWord(first, "EDIT")) return Refused(kEdit);
  if (SameWord(first, "BLOBDUMP")) return Refused(kBlobDump);
  if (SameWord(first, "BLOBVIEW")) return Skipped(kBlobView);
  if (SameWord(first, "ADD") || SameWord(first, "COPY")) return Refused(kInteractive);
  if (SameWord(first, "EXIT")) return Command(ScriptStatement::Command::kExit);
  if (SameWord(first, "QUIT")) return Command(ScriptStatement::Command::kQuit);
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
        // isql reads its input by LF: a lone CR does not end the comment.
        const void* lf = std::memchr(data + end, '\n', n - end);
        return lf == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(lf) - data);
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
    const Classified classified =
        terminated ? Classify(text) : Refused(kUnterminated);
    out->kind = classified.kind;
    out->text = text;
    out->index = LineAt(start);
    out->first_line = ClampedLine(static_cast<long long>(out->index) + 1);
    out->last_line = ClampedLine(static_cast<long long>(LineAt(end - 1)) + 1);
    out->reason = classified.reason;
    out->bail_on = classified.bail_on;
    out->command = classified.command;
    out->number = classified.number;
    out->word = classified.word;
    if (!classified.new_terminator.empty()) SetTerminator(classified.new_terminator);
    return true;
  }
}

}  // namespace tolvane
