#include "script_runner/engine/AdmittedFileCheck.h"

#include "SystemNames.h"
#include "connection/SQLConnection.h"
#include "connection/DatabaseError.h"
#include "runtime/Exceptions.h"
#include "runtime/Platform.h"

namespace tolvane {
namespace {

std::string SqlLiteral(const std::string& text) {
  std::string literal = "'";
  for (char c : text) {
    literal += c;
    if (c == '\'') literal += '\'';
  }
  return literal + "'";
}

std::string NotTheFile(const AdmittedFile& admitted, const std::string& why) {
  return "Run refused: the database the connection opened is not the file admitted (" +
         admitted.path + "): " + why + "; it was closed before any statement ran";
}

}  // namespace

std::string AdmittedNameCheck(const std::string& path) {
  const auto folded = [](const std::string& text) {
    return system_names::kNamesIgnoreCase ? "UPPER(" + text + ")" : text;
  };
  const std::string value = folded(SqlLiteral(path));
  // The context's name first: the monitoring tables take a snapshot of the
  // whole server, asked for only when the context names the file otherwise.
  // An integer divided by zero is the one failure PSQL can raise without an
  // exception of the database's own.
  return "EXECUTE BLOCK AS DECLARE N INTEGER = 0; BEGIN IF (" +
         folded("RDB$GET_CONTEXT('SYSTEM', 'DB_NAME')") + " IS DISTINCT FROM " + value +
         " AND NOT EXISTS (SELECT 1 FROM MON$DATABASE WHERE " + folded("MON$DATABASE_NAME") +
         " = " + value + ")) THEN N = 1 / N; END";
}

void ConfirmAdmittedFile(Platform& platform, TSQLConnection& connection,
                         const AdmittedFile& admitted) {
  try {
    connection.ExecuteSqlDirect(AdmittedNameCheck(admitted.path));
  } catch (const EDatabaseError& e) {
    throw Exception(NotTheFile(
        admitted, e.Details().sqlstate == "22012" || e.Message().find("22012") != std::string::npos
                      ? "the server names it otherwise"
                                                  : "the server could not tell its name: " +
                                                        e.Message()));
  }
  FileFacts facts;
  if (const int error = platform.ReadFileFacts(admitted.path, &facts); error != 0)
    throw Exception(NotTheFile(admitted, "its name leads nowhere now: " + platform.ErrorText(error)));
  if (!(facts.identity == admitted.identity))
    throw Exception(NotTheFile(admitted, "another file took its name"));
  if (facts.names > 1)
    throw Exception(NotTheFile(admitted, "it has gained another name (a hard link)"));
}

}  // namespace tolvane
