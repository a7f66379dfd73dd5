#include "udr/SecurityDatabaseCheck.h"

#include <ibase.h>

#include <string_view>

#include "udr/UdrHandles.h"

namespace tolvane {
namespace {

using Firebird::FbException;
using Firebird::IAttachment;
using Firebird::IExternalContext;
using Firebird::ITransaction;
using Firebird::ThrowStatusWrapper;

// MON$ tables are read in a transaction of their own: the first read of
// them fixes a transaction's view of them, and the caller's must stay as it
// was.
constexpr const char* kQuery =
    "SELECT CAST(CURRENT_ROLE AS VARCHAR(252) CHARACTER SET UNICODE_FSS), MON$SEC_DATABASE, "
    "MON$DATABASE_NAME FROM MON$DATABASE";
constexpr unsigned char kReadOnly[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                                       isc_tpb_rec_version, isc_tpb_nowait};

std::string Trimmed(const char* text, unsigned length) {
  std::string value(text, length);
  while (!value.empty() && value.back() == ' ') value.pop_back();
  return value;
}

CallerDatabase Read(ThrowStatusWrapper* status, Firebird::IMaster* master, IAttachment* attachment) {
  FB_MESSAGE(Row, ThrowStatusWrapper,
             (FB_VARCHAR(252), role)
             (FB_VARCHAR(32), kind)
             (FB_VARCHAR(1024), name));
  Row row(status, master);
  ITransaction* transaction = attachment->startTransaction(status, sizeof kReadOnly, kReadOnly);
  try {
    attachment->execute(status, transaction, 0, kQuery, SQL_DIALECT_V6, nullptr, nullptr,
                        row.getMetadata(), row.getData());
    transaction->commit(status);
  } catch (...) {
    try {
      transaction->rollback(status);
    } catch (...) {
      transaction->release();
    }
    throw;
  }
  CallerDatabase read;
  if (!row->roleNull) read.role = Trimmed(row->role.str, row->role.length);
  if (!row->kindNull) read.security.kind = Trimmed(row->kind.str, row->kind.length);
  if (!row->nameNull) read.security.database = Trimmed(row->name.str, row->name.length);
  return read;
}

// The status of a call made outside the routine's own calls.
class OwnStatus {
 public:
  explicit OwnStatus(Firebird::IMaster* master) : status_(master->getStatus()), wrapper_(status_) {}
  ~OwnStatus() { status_->dispose(); }
  OwnStatus(const OwnStatus&) = delete;
  OwnStatus& operator=(const OwnStatus&) = delete;
  ThrowStatusWrapper* Get() { return &wrapper_; }

 private:
  Firebird::IStatus* status_;
  ThrowStatusWrapper wrapper_;
};

class Dpb {
 public:
  explicit Dpb(ThrowStatusWrapper* status, Firebird::IMaster* master)
      : builder_(master->getUtilInterface()->getXpbBuilder(status, Firebird::IXpbBuilder::DPB,
                                                            nullptr, 0)) {}
  ~Dpb() { builder_->dispose(); }
  Dpb(const Dpb&) = delete;
  Dpb& operator=(const Dpb&) = delete;
  Firebird::IXpbBuilder* operator->() const { return builder_; }

 private:
  Firebird::IXpbBuilder* builder_;
};

std::string ErrorText(Firebird::IMaster* master, const FbException& error) {
  char text[1024] = {};
  master->getUtilInterface()->formatStatus(text, sizeof text - 1, error.getStatus());
  return text;
}

}  // namespace

CallerDatabase ReadCallerDatabase(ThrowStatusWrapper* status, IExternalContext* context) {
  Released<IAttachment> attachment(context->getAttachment(status));
  return Read(status, context->getMaster(), attachment.Get());
}

std::string TargetSecurityRefusal(IExternalContext* context, const SecurityDatabaseOf& caller,
                                  const std::string& target, const std::string& attach_name) {
  Firebird::IMaster* master = context->getMaster();
  OwnStatus own(master);
  ThrowStatusWrapper* status = own.Get();
  SecurityDatabaseOf found;
  try {
    Dpb dpb(status, master);
    dpb->insertString(status, isc_dpb_user_name, attach_name.c_str());
    Released<Firebird::IProvider> provider(master->getDispatcher());
    IAttachment* attachment = provider->attachDatabase(
        status, target.c_str(), dpb->getBufferLength(status), dpb->getBuffer(status));
    try {
      found = Read(status, master, attachment).security;
    } catch (...) {
      try {
        attachment->detach(status);
      } catch (...) {
        attachment->release();
      }
      throw;
    }
    attachment->detach(status);
  } catch (const FbException& e) {
    return "The database '" + target + "' cannot be opened: " + ErrorText(master, e);
  } catch (...) {
    return "The database '" + target + "' cannot be opened";
  }
  if (found.database == caller.database) return std::string();
  if (found.kind == "Default" && caller.kind == "Default") return std::string();
  return "The database '" + target + "' does not take its users from the same security " +
         "database as this one (there: " + found.kind + ", here: " + caller.kind +
         "): a user name there may be another user, so a run cannot take the caller's name there";
}

}  // namespace tolvane
