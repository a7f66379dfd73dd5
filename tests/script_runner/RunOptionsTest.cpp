// The options text every front end shares: what each text gives, and the
// message of each text that cannot be taken.
#include <gtest/gtest.h>

#include "script_runner/settings/RunOptions.h"

namespace tolvane {
namespace {

TEST(RunOptions, TextsThatAreTaken) {
  struct Row {
    const char* text;
    RunMode mode;
    Dialect dialect;
    std::optional<int> lock_timeout;
    bool failure_files;
    const char* charset = "";
    std::optional<int> sql_dialect = std::nullopt;
    bool every_statement_text = false;
  };
  const Row rows[] = {
      {"", RunMode::kContinue, Dialect::kLines, std::nullopt, true},
      {" ; ;", RunMode::kContinue, Dialect::kLines, std::nullopt, true},
      {"mode=batch;lock_timeout=5", RunMode::kBatch, Dialect::kLines, 5, true},
      {" MODE = Atomic ; Dialect= ISQL ;failure_files=off ", RunMode::kAtomic, Dialect::kIsql,
       std::nullopt, false},
      {"lock_timeout=0", RunMode::kContinue, Dialect::kLines, 0, true},
      {"lock_timeout=NoWait;mode=bail", RunMode::kBail, Dialect::kLines, kLockNoWait, true},
      // The isql dialect commits as isql does unless a mode is given.
      {"dialect=isql", RunMode::kIsql, Dialect::kIsql, std::nullopt, true},
      {"dialect=isql;mode=continue", RunMode::kContinue, Dialect::kIsql, std::nullopt, true},
      {"mode=isql", RunMode::kIsql, Dialect::kLines, std::nullopt, true},
      {"dialect=isql;charset=utf8;sql_dialect=1", RunMode::kIsql, Dialect::kIsql, std::nullopt, true,
       "UTF8", 1},
      {"statement_text=ALL", RunMode::kContinue, Dialect::kLines, std::nullopt, true, "",
       std::nullopt, true},
      {"statement_text=not_ok", RunMode::kContinue, Dialect::kLines, std::nullopt, true, "",
       std::nullopt, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    // The run log's options text reads back as the same settings.
    for (const RunSettings& settings :
         {ParseRunOptions(row.text), ParseRunOptions(RunOptionsText(ParseRunOptions(row.text)))}) {
      EXPECT_EQ(settings.mode, row.mode);
      EXPECT_EQ(settings.dialect, row.dialect);
      EXPECT_EQ(settings.lock_timeout, row.lock_timeout);
      EXPECT_EQ(settings.failure_files, row.failure_files);
      EXPECT_EQ(settings.charset, row.charset);
      EXPECT_EQ(settings.sql_dialect, row.sql_dialect);
      EXPECT_EQ(settings.every_statement_text, row.every_statement_text);
    }
  }
}

TEST(RunOptions, TextsThatAreRefusedNameTheOptionAndWhatItAllows) {
  struct Row {
    const char* text;
    const char* message;
  };
  const Row rows[] = {
      {"colour=blue",
       "Unknown option 'colour': the options are mode, dialect, lock_timeout, failure_files, "
       "charset, sql_dialect, statement_text, once, once_changed, tolerate"},
      {"mode=fast", "Bad value 'fast' for option mode: use continue, bail, atomic, batch or isql"},
      {"mode=batch;MODE=bail", "Option mode is given twice"},
      {"dialect", "Option 'dialect' needs a value: write name=value"},
      {"lock_timeout=-1",
       "Bad value '-1' for option lock_timeout: use a number of seconds from 0 (wait without a "
       "limit) to 32767, or nowait"},
      {"lock_timeout=5s",
       "Bad value '5s' for option lock_timeout: use a number of seconds from 0 (wait without a "
       "limit) to 32767, or nowait"},
      {"failure_files=", "Bad value '' for option failure_files: use on or off"},
      {"charset=utf-8", "Bad value 'utf-8' for option charset: use a character set's name, "
                         "such as UTF8 or WIN1252"},
      {"charset=UTF 8", "Bad value 'UTF 8' for option charset: use a character set's name, such as "
                        "UTF8 or WIN1252"},
      {"sql_dialect=4", "Bad value '4' for option sql_dialect: use 1, 2 or 3"},
      {"statement_text=some", "Bad value 'some' for option statement_text: use all or not_ok"},
      // The id goes into the history's statements: nothing but its own
      // characters passes, so no id can close a quote or add a statement.
      {"once=", "Bad value '' for option once: use an id of 1 to 255 letters, digits and . _ - : /"},
      {"once=v1' OR 'x'='x", "Bad value 'v1' OR 'x'='x' for option once: use an id of 1 to 255 "
                             "letters, digits and . _ - : /"},
      {"once=a b", "Bad value 'a b' for option once: use an id of 1 to 255 letters, digits and . _ - : /"},
      {"once=v1\"--", "Bad value 'v1\"--' for option once: use an id of 1 to 255 letters, digits "
                      "and . _ - : /"},
      {"once=\xC3\xA9", "Bad value '\xC3\xA9' for option once: use an id of 1 to 255 letters, "
                         "digits and . _ - : /"},
      {"once_changed=skip", "Bad value 'skip' for option once_changed: use refuse or rerun"},
      {"tolerate=all", "Bad value 'all' for option tolerate: use exists or none"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    try {
      ParseRunOptions(row.text);
      ADD_FAILURE() << "taken";
    } catch (const ERunOptions& error) {
      EXPECT_EQ(error.Message(), row.message);
    }
  }
}

TEST(RunOptions, OnceIdsUpToTheirLimitAndTheirOptionsReadBack) {
  const std::string longest(255, 'x');
  EXPECT_EQ(ParseRunOptions("once=" + longest).once_id, longest);
  EXPECT_THROW(ParseRunOptions("once=" + longest + "x"), ERunOptions);
  const RunSettings settings =
      ParseRunOptions("once=app/2024-05:schema_v3.1;once_changed=RERUN;tolerate=Exists");
  const RunSettings back = ParseRunOptions(RunOptionsText(settings));
  EXPECT_EQ(back.once_id, "app/2024-05:schema_v3.1");
  EXPECT_TRUE(back.once_rerun_changed);
  EXPECT_TRUE(back.tolerate_exists);
  // A server's defaults may tolerate, never name a script.
  EXPECT_NO_THROW(RefuseCallOnlyOptions(ParseRunOptions("tolerate=exists")));
  EXPECT_THROW(RefuseCallOnlyOptions(ParseRunOptions("once=v1")), ERunOptions);
  EXPECT_THROW(RefuseCallOnlyOptions(ParseRunOptions("once_changed=rerun")), ERunOptions);
}

TEST(RunOptions, ATextAppliesOverItsBase) {
  const RunSettings base = ParseRunOptions("dialect=isql;mode=batch");
  const RunSettings settings = ParseRunOptions("mode=bail", base);
  EXPECT_EQ(settings.dialect, Dialect::kIsql);
  EXPECT_EQ(settings.mode, RunMode::kBail);
  // A mode given in the base stays given: the dialect does not replace it.
  EXPECT_EQ(ParseRunOptions("dialect=isql", ParseRunOptions("mode=continue")).mode, RunMode::kContinue);
  EXPECT_EQ(ParseRunOptions("dialect=lines", ParseRunOptions("dialect=isql")).mode, RunMode::kContinue);
}

}  // namespace
}  // namespace tolvane
