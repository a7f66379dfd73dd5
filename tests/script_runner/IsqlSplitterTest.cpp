// The isql splitter, one group per rule; each case is a script and the pieces
// a run must see in it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "runtime/LineSplitting.h"
#include "script_runner/scripts/IsqlSplitter.h"

namespace tolvane {
namespace {

using Kind = ScriptStatement::Kind;

struct Piece {
  Kind kind;
  std::string text;
  int first_line;
  int last_line;
  bool operator==(const Piece&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Piece& piece) {
  static const char* const kinds[] = {"sql", "skipped", "refused", "set-bail", "command"};
  return out << kinds[static_cast<int>(piece.kind)] << " [" << piece.text << "] " << piece.first_line
             << "-" << piece.last_line;
}

struct Case {
  const char* name;
  std::string script;
  std::vector<Piece> pieces;
};

std::vector<ScriptStatement> SplitAll(std::string_view script) {
  std::vector<ScriptStatement> all;
  IsqlSplitter splitter(script);
  ScriptStatement statement;
  while (splitter.Next(&statement)) all.push_back(statement);
  EXPECT_FALSE(splitter.Next(&statement)) << "the end stays the end";
  return all;
}

std::vector<Piece> Split(std::string_view script) {
  std::vector<Piece> pieces;
  for (const ScriptStatement& s : SplitAll(script)) {
    EXPECT_EQ(s.index, s.first_line - 1) << s.text;
    EXPECT_GE(s.text.data(), script.data()) << "a view into the script";
    EXPECT_LE(s.text.data() + s.text.size(), script.data() + script.size());
    EXPECT_EQ(s.reason.empty(), s.kind == Kind::kSql || s.kind == Kind::kSetBail || s.kind == Kind::kCommand)
        << s.text;
    pieces.push_back({s.kind, std::string(s.text), s.first_line, s.last_line});
  }
  return pieces;
}

void ExpectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(Split(c.script), c.pieces) << c.name;
}

constexpr Kind kSql = Kind::kSql;
constexpr Kind kSkipped = Kind::kSkipped;
constexpr Kind kRefused = Kind::kRefused;

TEST(IsqlSplitterTest, TerminatorEndsStatementsOnlyInCode) {
  ExpectCases({
      {"two on one line", "insert a; insert b;", {{kSql, "insert a", 1, 1}, {kSql, "insert b", 1, 1}}},
      {"blanks around are not sent", "  \n select 1  \n ;\n", {{kSql, "select 1", 2, 2}}},
      {"empty statements", ";; ;\n;", {}},
      {"after the last terminator: isql never runs it", "a;\n b \n\n", {{kSql, "a", 1, 1}, {kRefused, "b", 2, 2}}},
      {"quoted with doubled quote", "x 'it''s; ok';y;", {{kSql, "x 'it''s; ok'", 1, 1}, {kSql, "y", 1, 1}}},
      {"quoted name", "select \"a;\"\"b\" from t;", {{kSql, "select \"a;\"\"b\" from t", 1, 1}}},
      {"q braces", "v q'{a;'}' ;w;", {{kSql, "v q'{a;'}'", 1, 1}, {kSql, "w", 1, 1}}},
      {"q pairs", "a Q'(;)' q'[;]' q'<;>';", {{kSql, "a Q'(;)' q'[;]' q'<;>'", 1, 1}}},
      {"q same char", "a q'!;'!';b;", {{kSql, "a q'!;'!'", 1, 1}, {kSql, "b", 1, 1}}},
      {"q inside a word is a name", "seq'a;'x;", {{kSql, "seq'a;'x", 1, 1}}},
      {"q delimiter never closed", "q'a;'x;", {{kRefused, "q'a;'x;", 1, 1}}},
      {"q with a blank opens nothing", "q' ;';", {{kSql, "q' ;'", 1, 1}}},
      {"unclosed literal runs to the end", "a 'b;\nc \r\n", {{kRefused, "a 'b;\nc", 1, 2}}},
      {"lone dash and slash are code", "select 1-1/2;", {{kSql, "select 1-1/2", 1, 1}}},
  });
}

TEST(IsqlSplitterTest, CommentsHideTerminatorsAndStayInsideStatements) {
  ExpectCases({
      {"line comment", "a -- x;y\n b;", {{kSql, "a -- x;y\n b", 1, 2}}},
      {"a lone CR does not end a line comment", "a -- x\r;\nb;", {{kSql, "a -- x\r;\nb", 1, 3}}},
      {"block comment across lines", "a /* ;\n; */ b;", {{kSql, "a /* ;\n; */ b", 1, 2}}},
      {"comment before the terminator is kept", "end /* c */ \n ;", {{kSql, "end /* c */", 1, 1}}},
      {"without the line comment's trailing blanks", "end -- c \t\v\r\n;", {{kSql, "end -- c", 1, 1}}},
      {"leading comments are not sent",
       "-- head;\n/* x;\n*/\n  select 1;",
       {{kSql, "select 1", 4, 4}}},
      {"comments between statements", "a; /* ; */ -- ;\nb;", {{kSql, "a", 1, 1}, {kSql, "b", 2, 2}}},
      {"only comments", "-- a;\n/* b; */ ; /* unclosed ;", {}},
      {"quote inside a comment", "a /* ' */; b -- \"\n;", {{kSql, "a /* ' */", 1, 1}, {kSql, "b -- \"", 1, 1}}},
      {"comment start inside a literal", "a '/*';b '--';", {{kSql, "a '/*'", 1, 1}, {kSql, "b '--'", 1, 1}}},
  });
}

TEST(IsqlSplitterTest, SetTermChangesTheTerminatorAndIsNotSent) {
  ExpectCases({
      {"procedure body",
       "SET TERM ^ ;\nCREATE PROCEDURE P AS\nBEGIN\n  x = 1;\nEND^\nSET TERM ; ^\nselect 1;",
       {{kSkipped, "SET TERM ^", 1, 1},
        {kSql, "CREATE PROCEDURE P AS\nBEGIN\n  x = 1;\nEND", 2, 5},
        {kSkipped, "SET TERM ;", 6, 6},
        {kSql, "select 1", 7, 7}}},
      {"long terminator, any case, no blank before the old one",
       "set terminator !!;a;b!! Set Term go!!c go",
       {{kSkipped, "set terminator !!", 1, 1},
        {kSql, "a;b", 1, 1},
        {kSkipped, "Set Term go", 1, 1},
        {kSql, "c", 1, 1}}},
      {"new terminator inside literals and comments", "set term #;a '#' /* # */ -- #\n#",
       {{kSkipped, "set term #", 1, 1}, {kSql, "a '#' /* # */ -- #", 1, 1}}},
      {"without a new terminator: ; again", "set term;a;", {{kSkipped, "set term", 1, 1}, {kSql, "a", 1, 1}}},
      {"the terminator given again", "set term ^;\nx^\nset term ^;\ny;\n",
       {{kSkipped, "set term ^", 1, 1}, {kSql, "x", 2, 2}, {kSkipped, "set term", 3, 3}, {kSql, "y", 4, 4}}},
      {"abbreviated", "set term ^;a^ SET TERMIN ;^b;",
       {{kSkipped, "set term ^", 1, 1}, {kSql, "a", 1, 1}, {kSkipped, "SET TERMIN ;", 1, 1}, {kSql, "b", 1, 1}}},
      {"not SET TERM", "set terms x; settem y;", {{kSql, "set terms x", 1, 1}, {kSql, "settem y", 1, 1}}},
  });
}

TEST(IsqlSplitterTest, LinesAreCountedAsTheLineRuleCountsThem) {
  // One statement per line: each piece's index is the index the line rule
  // gives that line, whatever the breaks.
  for (const std::string& script : {std::string("a;\r\nb;\n\rc;\rd;\n\ne;"), std::string("\r\r\na;\n\r\n\rb;"),
                                   std::string("\n\n\r\n\ra;\r\n")}) {
    std::vector<std::string_view> lines;
    SplitLines(script, [&lines](std::string_view line) { lines.push_back(line); });
    for (const ScriptStatement& s : SplitAll(script)) {
      ASSERT_LT(static_cast<std::size_t>(s.index), lines.size());
      EXPECT_EQ(std::string(s.text) + ";", lines[static_cast<std::size_t>(s.index)]) << s.text;
      EXPECT_EQ(s.first_line, s.last_line);
    }
  }
  ExpectCases({{"a statement over mixed breaks", "\r\na\r\nb\n\rc;", {{kSql, "a\r\nb\n\rc", 2, 5}}}});
}

TEST(IsqlSplitterTest, IsqlCommandsAreSkippedOrRefused) {
  ExpectCases({
      {"display settings, in isql's abbreviations",
       "set echo on; set list on; set count on; set stats; SET STAT; set plan on; set warnings off;"
       " set warning; set wng on; set heading off; set blob all; set blobdisplay 1; set time on;"
       " set width c 10; set sqlda_display on; set explain on; SET; set exec_path_display blr;"
       " set keep_tran_params on; SET KEEP_TRAN on; set local_timeout 5;"
       " show tables; SHOW PROCEDURE P; help; help set; ?; blobview 1:2;",
       {{kSkipped, "set echo on", 1, 1}, {kSkipped, "set list on", 1, 1}, {kSkipped, "set count on", 1, 1},
        {kSkipped, "set stats", 1, 1}, {kSkipped, "SET STAT", 1, 1}, {kSkipped, "set plan on", 1, 1},
        {kSkipped, "set warnings off", 1, 1}, {kSkipped, "set warning", 1, 1}, {kSkipped, "set wng on", 1, 1},
        {kSkipped, "set heading off", 1, 1}, {kSkipped, "set blob all", 1, 1},
        {kSkipped, "set blobdisplay 1", 1, 1}, {kSkipped, "set time on", 1, 1},
        {kSkipped, "set width c 10", 1, 1}, {kSkipped, "set sqlda_display on", 1, 1},
        {kSkipped, "set explain on", 1, 1}, {kSkipped, "SET", 1, 1},
        {kSkipped, "set exec_path_display blr", 1, 1}, {kSkipped, "set keep_tran_params on", 1, 1},
        {kSkipped, "SET KEEP_TRAN on", 1, 1}, {kSkipped, "set local_timeout 5", 1, 1},
        {kSkipped, "show tables", 1, 1}, {kSkipped, "SHOW PROCEDURE P", 1, 1}, {kSkipped, "help", 1, 1},
        {kSkipped, "help set", 1, 1}, {kSkipped, "?", 1, 1}, {kSkipped, "blobview 1:2", 1, 1}}},
      {"not available inside a run",
       "create database 'x.fdb'; CONNECT 'x'; input 'f.sql'; IN f.sql; output o.txt; OUT; shell ls;"
       " edit; drop database; blobdump 1:2 f; set bulk_insert insert into t values (?); add t;"
       " copy t u; set autoterm on; set bail maybe; set planonly x; set rowcount many;"
       " set sql dialect 4; set names;",
       {{kRefused, "create database 'x.fdb'", 1, 1}, {kRefused, "CONNECT 'x'", 1, 1},
        {kRefused, "input 'f.sql'", 1, 1}, {kRefused, "IN f.sql", 1, 1}, {kRefused, "output o.txt", 1, 1},
        {kRefused, "OUT", 1, 1}, {kRefused, "shell ls", 1, 1}, {kRefused, "edit", 1, 1},
        {kRefused, "drop database", 1, 1}, {kRefused, "blobdump 1:2 f", 1, 1},
        {kRefused, "set bulk_insert insert into t values (?)", 1, 1}, {kRefused, "add t", 1, 1},
        {kRefused, "copy t u", 1, 1}, {kRefused, "set autoterm on", 1, 1},
        {kRefused, "set bail maybe", 1, 1}, {kRefused, "set planonly x", 1, 1},
        {kRefused, "set rowcount many", 1, 1}, {kRefused, "set sql dialect 4", 1, 1},
        {kRefused, "set names", 1, 1}}},
      {"SQL that starts like them, and what isql does not abbreviate",
       "SET TRANSACTION READ COMMITTED; SET GENERATOR g TO 1; SET STATISTICS INDEX i;"
       " set time zone 'UTC'; set sql x; commit; ROLLBACK; create table database (a int); drop table t;"
       " set role r; sho tables; hel; set bind of x to y; shel ls;",
       {{kSql, "SET TRANSACTION READ COMMITTED", 1, 1}, {kSql, "SET GENERATOR g TO 1", 1, 1},
        {kSql, "SET STATISTICS INDEX i", 1, 1}, {kSql, "set time zone 'UTC'", 1, 1},
        {kSql, "set sql x", 1, 1}, {kSql, "commit", 1, 1}, {kSql, "ROLLBACK", 1, 1},
        {kSql, "create table database (a int)", 1, 1}, {kSql, "drop table t", 1, 1},
        {kSql, "set role r", 1, 1}, {kSql, "sho tables", 1, 1}, {kSql, "hel", 1, 1},
        {kSql, "set bind of x to y", 1, 1}, {kSql, "shel ls", 1, 1}}},
  });
  const std::vector<ScriptStatement> database = SplitAll("CREATE DATABASE 'x';");
  ASSERT_EQ(database.size(), 1u);
  EXPECT_EQ(database[0].reason, "not available inside a run: the database is the call's argument");
}

TEST(IsqlSplitterTest, IsqlCommandsThatChangeWhatTheDatabaseSeesCarryTheirValue) {
  using C = ScriptStatement::Command;
  struct Row {
    const char* script;
    C command;
    long long number;
    const char* word;
  };
  for (const Row& row : {
           Row{"set rowcount 5;", C::kRowCount, 5, ""}, Row{"SET MAXROWS 0;", C::kRowCount, 0, ""},
           Row{"set rowcount;", C::kRowCount, 0, ""},
           Row{"set planonly on;", C::kPlanOnly, ScriptStatement::kOn, ""},
           Row{"SET PLANONLY;", C::kPlanOnly, ScriptStatement::kToggle, ""},
           Row{"set autoddl off;", C::kAutoDdl, ScriptStatement::kOff, ""},
           Row{"SET AUTO;", C::kAutoDdl, ScriptStatement::kToggle, ""},
           Row{"set autod on;", C::kAutoDdl, ScriptStatement::kOn, ""},
           Row{"set names utf8;", C::kNames, 0, "utf8"},
           Row{"SET SQL DIALECT 1;", C::kSqlDialect, 1, ""},
           Row{"exit;", C::kExit, 0, ""}, Row{"QUIT now;", C::kQuit, 0, ""},
       }) {
    const std::vector<ScriptStatement> pieces = SplitAll(row.script);
    ASSERT_EQ(pieces.size(), 1u) << row.script;
    EXPECT_EQ(pieces[0].kind, Kind::kCommand) << row.script;
    EXPECT_EQ(pieces[0].command, row.command) << row.script;
    EXPECT_EQ(pieces[0].number, row.number) << row.script;
    EXPECT_EQ(pieces[0].word, row.word) << row.script;
  }
  // Without its terminator the command is never applied.
  const std::vector<ScriptStatement> exit = SplitAll("exit");
  ASSERT_EQ(exit.size(), 1u);
  EXPECT_EQ(exit[0].kind, kRefused);
  EXPECT_EQ(exit[0].reason.substr(0, 22), "unterminated statement");
}

TEST(IsqlSplitterTest, SetBailChoosesTheMode) {
  struct Row {
    const char* script;
    Kind kind;
    bool on;
  };
  for (const Row& row : {Row{"SET BAIL ON;", Kind::kSetBail, true}, Row{"set bail off;", Kind::kSetBail, false},
                         Row{"set bail;", Kind::kSetBail, true}, Row{"set bail maybe;", kRefused, false}}) {
    const std::vector<ScriptStatement> pieces = SplitAll(row.script);
    ASSERT_EQ(pieces.size(), 1u) << row.script;
    EXPECT_EQ(pieces[0].kind, row.kind) << row.script;
    EXPECT_EQ(pieces[0].bail_on, row.on) << row.script;
  }
}

}  // namespace
}  // namespace tolvane
