// The least any external function with the module's signature can cost inside
// the server: read the BLOB, attach through the client API, run each line in
// its own committed transaction, detach. No connection layer, no driver, no
// failure files. Declared like the module: (BLOB, CSTRING) returns CSTRING.
#include <ibase.h>

#include <string>

#include "bench/LineLoop.h"

namespace {

thread_local std::string t_result;

std::string ReadBlob(const blobcallback* blob) {
  std::string text;
  if (blob == nullptr || blob->blob_handle == nullptr || blob->blob_get_segment == nullptr) return text;
  const long total = blob->blob_total_length > 0 ? blob->blob_total_length : 0;
  text.resize(static_cast<std::size_t>(total));
  long read = 0;
  while (read < total) {
    const long missing = total - read;
    const ISC_USHORT wanted = static_cast<ISC_USHORT>(missing < 65535 ? missing : 65535);
    ISC_USHORT delivered = 0;
    blob->blob_get_segment(blob->blob_handle, reinterpret_cast<ISC_UCHAR*>(text.data() + read), wanted, &delivered);
    if (delivered == 0) break;
    read += delivered < wanted ? delivered : wanted;
  }
  text.resize(static_cast<std::size_t>(read));
  return text;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) char* tolvane_bench_executa(blobcallback* script,
                                                                              const char* database_path) {
  static char ok[] = "ok";
  try {
    const std::string text = ReadBlob(script);
    const tolvane::bench::LoopOutcome outcome =
        tolvane::bench::RunLinesEachCommitted(database_path != nullptr ? database_path : "", text);
    if (outcome.error.empty()) return ok;
    t_result = outcome.error;
    return t_result.data();
  } catch (...) {
    static char failed[] = "out of memory";
    return failed;
  }
}
