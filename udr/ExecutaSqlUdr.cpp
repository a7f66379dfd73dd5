// The script runner as a UDR function, for servers where legacy external
// functions are off. It reads the BLOB through the routine's own attachment
// and hands it to the same runner as the legacy export, so both give the
// same lines, failure files and text for the same script and database.
#define FB_UDR_STATUS_TYPE ::Firebird::ThrowStatusWrapper

#include <ibase.h>
#include <firebird/UdrCppEngine.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "runtime/Platform.h"
#include "script_runner/ScriptRunner.h"
#include "udr/UdrHandles.h"
#include "udr/UdrLimits.h"

namespace {

using Firebird::IBlob;
using Firebird::IStatus;
using Firebird::ThrowStatusWrapper;
using tolvane::OpenBlob;
using tolvane::Released;

// What the runner's get-segment routine needs to reach the open BLOB.
struct UdrBlobSource {
  IBlob* blob;
  ThrowStatusWrapper* status;
};

short GetSegment(void* handle, ISC_UCHAR* buffer, ISC_USHORT size, ISC_USHORT* delivered) {
  auto* source = static_cast<UdrBlobSource*>(handle);
  *delivered = 0;
  try {
    unsigned length = 0;
    int result = source->blob->getSegment(source->status, size, buffer, &length);
    if (result == IStatus::RESULT_OK || result == IStatus::RESULT_SEGMENT)
      *delivered = static_cast<ISC_USHORT>(std::min<unsigned>(length, size));
    return result == IStatus::RESULT_NO_DATA ? 0 : 1;
  } catch (...) {
    // A read error ends the script where it stands, as an empty segment does.
    return 0;
  }
}

// The BLOB's total length from its information items (little-endian).
ISC_LONG TotalLength(IBlob* blob, ThrowStatusWrapper* status) {
  const unsigned char items[] = {isc_info_blob_total_length};
  unsigned char info[32] = {};
  blob->getInfo(status, sizeof items, items, sizeof info, info);
  if (info[0] != isc_info_blob_total_length) return 0;
  const unsigned length = info[1] | (info[2] << 8);
  if (length == 0 || length > 8) return 0;
  std::uint64_t value = 0;
  for (unsigned i = 0; i < length; ++i) value |= std::uint64_t{info[3 + i]} << (8 * i);
  return value > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<ISC_LONG>(value);
}

}  // namespace

namespace {

// The one body of both functions: reads the BLOB through the routine's own
// attachment and hands it to the runner; options: TOLVANE_EXEC's, null for
// executa_sql, which has none.
const char* RunFromUdr(ThrowStatusWrapper* status, Firebird::IExternalContext* context,
                       const ISC_QUAD* script, const std::string* path,
                       tolvane::RunCaller caller, const std::string* options) {
  if (const char* user = context->getUserName()) caller.user = user;  // named in the run log
  const char* db = path != nullptr ? path->c_str() : nullptr;
  if (script == nullptr)
    return tolvane::RunScript(tolvane::DefaultPlatform(), nullptr, db, caller, options);
  Released<Firebird::IAttachment> attachment(context->getAttachment(status));
  Released<Firebird::ITransaction> transaction(context->getTransaction(status));
  ISC_QUAD id = *script;
  OpenBlob blob(attachment->openBlob(status, transaction.Get(), &id, 0, nullptr), status);
  attachment.Reset();
  transaction.Reset();
  UdrBlobSource source{blob.Get(), status};
  blobcallback callback{};
  callback.blob_get_segment = &GetSegment;
  callback.blob_handle = &source;
  callback.blob_total_length = TotalLength(blob.Get(), status);
  return tolvane::RunScript(tolvane::DefaultPlatform(), &callback, db, caller, options);
}

template <class Result>
void SetResult(Result* result, ISC_SHORT* null, const char* text) {
  const size_t length = std::min<size_t>(std::strlen(text), tolvane::kUdrResultBytes);
  std::memcpy(result->str, text, length);
  result->length = static_cast<ISC_USHORT>(length);
  *null = FB_FALSE;
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
    const std::string path(in->db.str, in->db.length);
    SetResult(&out->result, &out->resultNull,
              RunFromUdr(status, context, in->scriptNull ? nullptr : &in->script,
                         in->dbNull ? nullptr : &path, tolvane::RunCaller{}, nullptr));
  }
FB_UDR_END_FUNCTION

// TOLVANE_EXEC(script, db, options): executa_sql's run and result text, with
// an options text (NULL or '': the defaults), so that asking for once= or
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
    const std::string path(in->db.str, in->db.length);
    const std::string options = in->optionsNull ? std::string()
                                                : std::string(in->options.str, in->options.length);
    tolvane::RunCaller caller;
    caller.routine = "TOLVANE_EXEC";
    SetResult(&out->result, &out->resultNull,
              RunFromUdr(status, context, in->scriptNull ? nullptr : &in->script,
                         in->dbNull ? nullptr : &path, caller, &options));
  }
FB_UDR_END_FUNCTION

FB_UDR_IMPLEMENT_ENTRY_POINT
