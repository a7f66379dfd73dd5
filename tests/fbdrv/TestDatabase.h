// Throw-away embedded databases in a temporary folder, and a second
// attachment of the client library to look at them from outside the driver.
#pragma once

#include <ibase.h>

#include <string>

namespace tolvane::fbdrv::testing {

class TestFolder {
 public:
  TestFolder();
  ~TestFolder();
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Creates a dialect 3 database with asynchronous writes (tests need no
// durability) and detaches. A server name in `path` needs a login.
void CreateDatabase(const std::string& path, const std::string& user = "SYSDBA",
                    const std::string& password = "");

// An attachment of its own through the client library.
class Probe {
 public:
  explicit Probe(const std::string& database, const std::string& user = "SYSDBA",
                 const std::string& password = "");
  ~Probe();
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  // The first column of the first row as text, "<null>" for NULL, "<none>"
  // when there is no row; each query runs in a transaction of its own.
  std::string Query(const std::string& sql);
  // Runs a statement in a transaction of its own and commits.
  void Execute(const std::string& sql);
  // Starts a transaction and keeps it open (to hold locks).
  void Begin();
  void ExecuteInOpen(const std::string& sql);
  void Commit();
  void Rollback();

 private:
  isc_db_handle db_ = 0;
  isc_tr_handle open_ = 0;
};

}  // namespace tolvane::fbdrv::testing
