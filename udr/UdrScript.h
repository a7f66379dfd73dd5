// A routine's BLOB argument as a script source (ScriptText.h): opened through
// the routine's own attachment and transaction, its length from the BLOB's
// information items, its segments fetched as the run's reader asks.
#pragma once

#ifndef FB_UDR_STATUS_TYPE
#define FB_UDR_STATUS_TYPE ::Firebird::ThrowStatusWrapper
#endif

#include <ibase.h>
#include <firebird/UdrCppEngine.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "runtime/Exceptions.h"
#include "script_runner/engine/RunRequest.h"
#include "udr/UdrHandles.h"

namespace tolvane {

// A Firebird error as one line of text.
inline std::string UdrErrorText(Firebird::IExternalContext* context,
                                const Firebird::FbException& error) {
  char text[1024] = {};
  context->getMaster()->getUtilInterface()->formatStatus(text, sizeof text - 1, error.getStatus());
  return text;
}

class UdrScript {
 public:
  // Raises FbException when the BLOB cannot be opened.
  UdrScript(Firebird::ThrowStatusWrapper* status, Firebird::IExternalContext* context, ISC_QUAD id)
      : status_(status), context_(context), blob_(Open(status, context, &id), status) {}

  // Valid while this object lives. A segment that cannot be read ends the
  // call with the server's error, never with a script cut short.
  ScriptSource Source() {
    return ScriptSource{TotalLength(), [this](char* into, std::size_t wanted) -> std::size_t {
                          try {
                            unsigned length = 0;
                            const int result = blob_.Get()->getSegment(
                                status_, static_cast<unsigned>(wanted), into, &length);
                            if (result != Firebird::IStatus::RESULT_OK &&
                                result != Firebird::IStatus::RESULT_SEGMENT)
                              return 0;
                            return length;
                          } catch (const Firebird::FbException& error) {
                            throw Exception(UdrErrorText(context_, error));
                          }
                        }};
  }

 private:
  static Firebird::IBlob* Open(Firebird::ThrowStatusWrapper* status,
                               Firebird::IExternalContext* context, ISC_QUAD* id) {
    Released<Firebird::IAttachment> attachment(context->getAttachment(status));
    Released<Firebird::ITransaction> transaction(context->getTransaction(status));
    return attachment->openBlob(status, transaction.Get(), id, 0, nullptr);
  }

  // The BLOB's total length from its information items (little-endian).
  std::size_t TotalLength() {
    const unsigned char items[] = {isc_info_blob_total_length};
    unsigned char info[32] = {};
    blob_.Get()->getInfo(status_, sizeof items, items, sizeof info, info);
    if (info[0] != isc_info_blob_total_length) return 0;
    const unsigned length = info[1] | (info[2] << 8);
    if (length == 0 || length > 8) return 0;
    std::uint64_t value = 0;
    for (unsigned i = 0; i < length; ++i) value |= std::uint64_t{info[3 + i]} << (8 * i);
    return value > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<std::size_t>(value);
  }

  Firebird::ThrowStatusWrapper* status_;
  Firebird::IExternalContext* context_;
  OpenBlob blob_;
};

}  // namespace tolvane
