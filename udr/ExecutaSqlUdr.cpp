// The script runner as a UDR function, for servers where legacy external
// functions are off. It reads the BLOB through the routine's own attachment
// and hands it to the same runner as the legacy export, so both give the
// same lines, failure files and text for the same script and database.
#define FB_UDR_STATUS_TYPE ::Firebird::ThrowStatusWrapper

#include <ibase.h>
#include <firebird/UdrCppEngine.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "runtime/Platform.h"
#include "script_runner/settings/FirebirdConfig.h"
#include "script_runner/function/ScriptRunner.h"
#include "udr/UdrLimits.h"
#include "udr/UdrScript.h"

namespace {

// The one body of both functions: the request as executa_sql makes it, with
// TOLVANE_EXEC's options (none for executa_sql), run to its result text.
template <class Result>
void RunFromUdr(Firebird::ThrowStatusWrapper* status, Firebird::IExternalContext* context,
                const ISC_QUAD* script_id, std::string target, std::optional<std::string> options,
                const char* routine, Result* result, ISC_SHORT* result_null) {
  tolvane::RunRequest request;
  request.target = std::move(target);
  request.options = std::move(options);
  if (routine != nullptr) request.caller.routine = routine;
  if (const char* user = context->getUserName()) request.caller.user = user;  // for the run log
  std::optional<tolvane::UdrScript> script;
  if (script_id != nullptr) {
    script.emplace(status, context, *script_id);
    request.script = script->Source();
  } else {
    request.script = tolvane::ScriptSource{};
  }
  const std::string text =
      tolvane::RunToResultText(tolvane::DefaultPlatform(), tolvane::ServerFirebirdConfig(), request);
  const size_t length = std::min<size_t>(std::strlen(text.c_str()), tolvane::kUdrResultBytes);
  std::memcpy(result->str, text.data(), length);
  result->length = static_cast<ISC_USHORT>(length);
  *result_null = FB_FALSE;
}

}  // namespace

FB_UDR_BEGIN_FUNCTION(executa_sql)
  FB_UDR_MESSAGE(InMessage,
    (FB_BLOB, script)
    (FB_VARCHAR(tolvane::kUdrPathBytes), db)
  );

  FB_UDR_MESSAGE(OutMessage,
    (FB_VARCHAR(tolvane::kUdrResultBytes), result)
  );

  FB_UDR_EXECUTE_FUNCTION
  {
    RunFromUdr(status, context, in->scriptNull ? nullptr : &in->script,
               std::string(in->db.str, in->dbNull ? 0 : in->db.length), std::nullopt, nullptr,
               &out->result, &out->resultNull);
  }
FB_UDR_END_FUNCTION

// TOLVANE_EXEC(script, db, options): executa_sql's run and result text, with
// an options text (NULL: the defaults), so that asking for once= or
// tolerate= is a change of name in the call.
FB_UDR_BEGIN_FUNCTION(tolvane_exec)
  FB_UDR_MESSAGE(InMessage,
    (FB_BLOB, script)
    (FB_VARCHAR(tolvane::kUdrPathBytes), db)
    (FB_VARCHAR(tolvane::kUdrOptionsBytes), options)
  );

  FB_UDR_MESSAGE(OutMessage,
    (FB_VARCHAR(tolvane::kUdrResultBytes), result)
  );

  FB_UDR_EXECUTE_FUNCTION
  {
    std::optional<std::string> options;
    if (!in->optionsNull) options.emplace(in->options.str, in->options.length);
    RunFromUdr(status, context, in->scriptNull ? nullptr : &in->script,
               std::string(in->db.str, in->dbNull ? 0 : in->db.length), std::move(options),
               "TOLVANE_EXEC", &out->result, &out->resultNull);
  }
FB_UDR_END_FUNCTION

FB_UDR_IMPLEMENT_ENTRY_POINT
