// Measures what one line costs through the driver against bare client-library
// loops, on an embedded database with asynchronous writes (so the engine's
// work, not the disk, is compared). Not a test: run by hand,
//   driver_cost_probe [lines-per-block] [rounds]
#include <firebird/Interface.h>
#include <ibase.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "DriverHarness.h"
#include "TestDatabase.h"

using namespace tolvane::fbdrv::testing;

namespace {

ISC_STATUS_ARRAY status_vector;

void Check(const char* what) {
  if (status_vector[0] == 1 && status_vector[1] != 0) {
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
  }
}

char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
              isc_tpb_wait, isc_tpb_lock_timeout, 2, 60, 0};

struct Method {
  const char* name;
  std::function<void(const std::string&)> run;
  double micros = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const int block = argc > 1 ? std::atoi(argv[1]) : 300;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 6;
  TestFolder folder;
  const std::string database = folder.Path() + "/cost.fdb";
  CreateDatabase(database);
  Probe(database).Execute("create table t (id integer primary key, s varchar(40))");
  Probe(database).Execute("create sequence g");

  isc_db_handle db = 0;
  const char dpb[] = {isc_dpb_version1, isc_dpb_sql_dialect, 1, 3};
  isc_attach_database(status_vector, 0, database.c_str(), &db, sizeof dpb, dpb);
  Check("attach");
  Firebird::IMaster* master = Firebird::fb_get_master_interface();
  Firebird::IStatus* oo_status = master->getStatus();
  Firebird::CheckStatusWrapper wrapper(oo_status);
  Firebird::IProvider* provider = master->getDispatcher();
  Firebird::IAttachment* attachment = provider->attachDatabase(
      &wrapper, database.c_str(), sizeof dpb, reinterpret_cast<const unsigned char*>(dpb));
  Session session(database);

  std::vector<Method> methods;
  methods.push_back({"bare legacy: start+execute_immediate+commit", [&](const std::string& sql) {
                       isc_tr_handle tr = 0;
                       struct {
                         isc_db_handle* db;
                         long length;
                         char* tpb;
                       } teb{&db, sizeof tpb, tpb};
                       isc_start_multiple(status_vector, &tr, 1, &teb);
                       Check("start");
                       isc_dsql_execute_immediate(status_vector, &db, &tr, 0, sql.c_str(), 3,
                                                  nullptr);
                       Check("execute");
                       isc_commit_transaction(status_vector, &tr);
                       Check("commit");
                     }});
  methods.push_back({"bare OO: start+execute+commit", [&](const std::string& sql) {
                       Firebird::ITransaction* tr = attachment->startTransaction(
                           &wrapper, sizeof tpb, reinterpret_cast<unsigned char*>(tpb));
                       attachment->execute(&wrapper, tr, 0, sql.c_str(), 3, nullptr, nullptr,
                                           nullptr, nullptr);
                       tr->commit(&wrapper);
                     }});
  methods.push_back({"driver, as the layer calls it", [&](const std::string& sql) {
                       Session::Outcome outcome = session.Run(sql);
                       if (outcome.code != 0) {
                         std::fprintf(stderr, "%s\n", outcome.text.c_str());
                         std::exit(1);
                       }
                     }});

  int id = 0;
  for (const char* kind : {"insert", "update", "alter sequence"}) {
    for (Method& method : methods) method.micros = 0;
    for (int round = 0; round < rounds; ++round) {
      for (Method& method : methods) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < block; ++i, ++id) {
          std::string sql;
          if (kind[0] == 'i') {
            sql = "insert into t values (" + std::to_string(id) + ", 'row')";
          } else if (kind[0] == 'u') {
            sql = "update t set s = 'x' where id = " + std::to_string(id % 100);
          } else {
            sql = "alter sequence g restart with " + std::to_string(id);
          }
          method.run(sql);
        }
        if (round > 0) {
          method.micros +=
              std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                  .count();
        }
      }
    }
    std::printf("%s:\n", kind);
    for (const Method& method : methods) {
      std::printf("  %-46s %7.1f us/line  %.3fx legacy\n", method.name,
                  method.micros / (block * (rounds - 1)), method.micros / methods[0].micros);
    }
  }
  attachment->detach(&wrapper);
  provider->release();
  oo_status->dispose();
  isc_detach_database(status_vector, &db);
  return 0;
}
