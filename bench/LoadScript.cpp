// Puts a script file into the SCRIPTS table as a BLOB, so that the server
// paths can be handed the very script the embedded paths read from a file.
// Runs before the timed part.
//   tolvane-bench-load-script DATABASE ID FILE
#include <ibase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

[[noreturn]] void Die(const char* what, const ISC_STATUS* status) {
  char buffer[512];
  std::fprintf(stderr, "%s failed", what);
  const ISC_STATUS* cursor = status;
  while (status != nullptr && fb_interpret(buffer, sizeof buffer, &cursor) != 0) std::fprintf(stderr, ": %s", buffer);
  std::fprintf(stderr, "\n");
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s DATABASE ID FILE\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[3], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", argv[3]);
    return 2;
  }
  const std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const int id = std::atoi(argv[2]);

  ISC_STATUS_ARRAY status;
  isc_db_handle db = 0;
  const char dpb[] = {isc_dpb_version1, isc_dpb_user_name, 6, 'S', 'Y', 'S', 'D', 'B', 'A'};
  if (isc_attach_database(status, 0, argv[1], &db, sizeof dpb, dpb) != 0) Die("attach", status);
  isc_tr_handle tr = 0;
  if (isc_start_transaction(status, &tr, 1, &db, 0, nullptr) != 0) Die("start transaction", status);

  isc_blob_handle blob = 0;
  ISC_QUAD blob_id;
  if (isc_create_blob2(status, &db, &tr, &blob, &blob_id, 0, nullptr) != 0) Die("create blob", status);
  for (std::size_t at = 0; at < script.size(); at += 32768) {
    const std::size_t length = script.size() - at < 32768 ? script.size() - at : 32768;
    if (isc_put_segment(status, &blob, static_cast<unsigned short>(length), script.data() + at) != 0)
      Die("put segment", status);
  }
  if (isc_close_blob(status, &blob) != 0) Die("close blob", status);

  // One input parameter: the BLOB id; the row id goes in as text.
  const std::string sql = "INSERT INTO SCRIPTS (ID, SCRIPT) VALUES (" + std::to_string(id) + ", ?)";
  std::unique_ptr<XSQLDA, decltype(&std::free)> holder(static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(1))),
                                                      &std::free);
  XSQLDA* input = holder.get();
  if (input == nullptr) Die("allocate", nullptr);
  input->version = SQLDA_VERSION1;
  input->sqln = 1;
  input->sqld = 1;
  input->sqlvar[0].sqltype = SQL_BLOB;
  input->sqlvar[0].sqllen = sizeof(ISC_QUAD);
  input->sqlvar[0].sqldata = reinterpret_cast<ISC_SCHAR*>(&blob_id);
  if (isc_dsql_execute_immediate(status, &db, &tr, 0, sql.c_str(), 3, input) != 0) Die("insert", status);
  if (isc_commit_transaction(status, &tr) != 0) Die("commit", status);
  if (isc_detach_database(status, &db) != 0) Die("detach", status);
  return 0;
}
