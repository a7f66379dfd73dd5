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
#include "script_runner/function/ScriptRunner.h"
#include "udr/UdrLimits.h"
#include "udr/UdrScript.h"

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
    tolvane::RunRequest request;
    request.target.emplace(in->db.str, in->dbNull ? 0 : in->db.length);
    if (const char* user = context->getUserName()) request.caller.user = user;  // for the run log
    std::optional<tolvane::UdrScript> script;
    if (!in->scriptNull) {
      script.emplace(status, context, in->script);
      request.script = script->Source();
    } else {
      request.script = tolvane::ScriptSource{};
    }
    const std::string text = tolvane::RunToResultText(tolvane::DefaultPlatform(), request);
    const size_t length = std::min<size_t>(std::strlen(text.c_str()), tolvane::kUdrResultBytes);
    std::memcpy(out->result.str, text.data(), length);
    out->result.length = static_cast<ISC_USHORT>(length);
    out->resultNull = FB_FALSE;
  }
FB_UDR_END_FUNCTION

FB_UDR_IMPLEMENT_ENTRY_POINT
