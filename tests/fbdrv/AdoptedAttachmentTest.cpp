// An attachment someone else holds (the caller's own, inside the server),
// handed to the driver instead of a login.
#include <firebird/Interface.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "DriverHarness.h"
#include "TestDatabase.h"
#include "fbdrv/LockTimeout.h"

namespace tolvane::fbdrv::testing {
namespace {

using Firebird::CheckStatusWrapper;

// The holder's own attachment through the client's interfaces, under a user
// name the driver is never given (embedded: no password is asked).
class Holder {
 public:
  explicit Holder(const std::string& database)
      : master_(Firebird::fb_get_master_interface()), status_(master_->getStatus()), wrapper_(status_) {
    Firebird::IXpbBuilder* dpb =
        master_->getUtilInterface()->getXpbBuilder(&wrapper_, Firebird::IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&wrapper_, isc_dpb_user_name, "TOLVANE_HOLDER");
    Firebird::IProvider* provider = master_->getDispatcher();
    attachment_ = provider->attachDatabase(&wrapper_, database.c_str(), dpb->getBufferLength(&wrapper_),
                                           dpb->getBuffer(&wrapper_));
    provider->release();
    dpb->dispose();
  }
  ~Holder() {
    if (attachment_ != nullptr) attachment_->detach(&wrapper_);
    status_->dispose();
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

  Firebird::IAttachment* Get() const { return attachment_; }
  OptionValue Address() const { return reinterpret_cast<OptionValue>(attachment_); }
  // Whether the attachment still takes calls.
  bool Usable() {
    wrapper_.init();
    Firebird::ITransaction* transaction = attachment_->startTransaction(&wrapper_, 0, nullptr);
    if (wrapper_.getState() & Firebird::IStatus::STATE_ERRORS) return false;
    transaction->commit(&wrapper_);
    return !(wrapper_.getState() & Firebird::IStatus::STATE_ERRORS);
  }

 private:
  Firebird::IMaster* master_;
  Firebird::IStatus* status_;
  CheckStatusWrapper wrapper_;
  Firebird::IAttachment* attachment_ = nullptr;
};

class AdoptedAttachmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = folder_.Path() + "/adopted.fdb";
    CreateDatabase(database_);
    Probe probe(database_);
    probe.Execute("create table seen (v varchar(63))");
    probe.Execute("grant all on seen to public");
  }

  TestFolder folder_;
  std::string database_;
};

TEST_F(AdoptedAttachmentTest, RunsAsItsHolderAndIsReleasedWithoutADetach) {
  Holder holder(database_);
  ASSERT_NE(holder.Get(), nullptr);
  {
    // The login given to AttachDatabase is not used: the statements are the holder's.
    Session session(database_, {{coAttachment, holder.Address()}}, "SYSDBA", "");
    ASSERT_EQ(session.attach_result, 0) << session.attach_text;
    session.Exec("insert into seen select current_user from rdb$database");
    EXPECT_EQ(Probe(database_).Query("select v from seen"), "TOLVANE_HOLDER");
    // Setting it again once attached would swap the holder's attachment away.
    EXPECT_EQ(session.Connection()->SetConnectionOption(coAttachment, 0), kDriverInvalidParameter);
  }
  {
    // Work left open in a kept transaction goes with the connection.
    Session session(database_, {{coAttachment, holder.Address()}, {coAutoCommit, 0}});
    ASSERT_EQ(session.attach_result, 0) << session.attach_text;
    session.Exec("insert into seen values ('uncommitted')");
    EXPECT_EQ(session.Connection()->DetachDatabase(), 0);
  }
  EXPECT_EQ(Probe(database_).Query("select count(*) from seen"), "1");
  EXPECT_TRUE(holder.Usable()) << "the holder's attachment outlives the driver's connection";
}

// The holder may hold the lock its statements wait for: they always wait a
// limited time (the layer bounds what it asks by the process's limit).
TEST_F(AdoptedAttachmentTest, StatementsAlwaysWaitALimitedTime) {
  struct Row {
    int asked;  // coLockTimeout; -1: not given
    int in_force;
  } rows[] = {
      {-1, kDefaultLockTimeout}, {0, kDefaultLockTimeout}, {5, 5}, {120, 120},
  };
  Holder holder(database_);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.asked));
    std::vector<Option> options{{coAttachment, holder.Address()}};
    if (row.asked >= 0) options.push_back({coLockTimeout, row.asked});
    Session session(database_, options);
    ASSERT_EQ(session.attach_result, 0) << session.attach_text;
    std::int32_t seconds = -1;
    ASSERT_EQ(session.Connection()->GetConnectionOption(coLockTimeout, &seconds, 4, nullptr), 0);
    EXPECT_EQ(seconds, row.in_force);
  }
}

}  // namespace
}  // namespace tolvane::fbdrv::testing
