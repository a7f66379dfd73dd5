// A whole run of the script runner on the fake driver, with the script's
// bytes, the segment size and the BLOB's honesty taken from the input.
// Checked: exactly the non-empty lines before the first NUL reach the driver,
// in order; every line starting with "!" (which the driver refuses) leaves
// its failure file with the exact one-line content; every line whose first
// token is SELECT runs on a fresh clone (the driver reports a limit of one
// active statement); the result is "ok"; no driver object outlives the run.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "FakeDriverSetup.h"
#include "FuzzCheck.h"
#include "FuzzModels.h"
#include "script_runner/function/ScriptRunner.h"

namespace {

using tolvane::testing::fuzz::Escaped;

constexpr const char* kDatabase = "/fuzz/db.fdb";
constexpr const char* kExecutePrefix = "ExecuteSqlText sql=";

struct Blob {
  std::string_view bytes;
  std::size_t position = 0;
  unsigned segment = 1;
  // When it fills the whole buffer, claims the largest count there is: the
  // runner must take no more than it asked for.
  bool overclaim = false;
};

short GetSegment(void* handle, ISC_UCHAR* buffer, ISC_USHORT wanted, ISC_USHORT* delivered) {
  Blob& blob = *static_cast<Blob*>(handle);
  std::size_t n = blob.bytes.size() - blob.position;
  if (n > wanted) n = wanted;
  if (n > blob.segment) n = blob.segment;
  std::copy_n(blob.bytes.data() + blob.position, n, buffer);
  blob.position += n;
  *delivered = static_cast<ISC_USHORT>(n == wanted && blob.overclaim ? 0xFFFF : n);
  return 0;
}

const std::string& FailureFolder() {
  static const std::string folder = [] {
    char name[] = "/tmp/tolvane-fuzz-XXXXXX";
    if (::mkdtemp(name) == nullptr) std::abort();
    return std::string(name);
  }();
  return folder;
}

void EmptyFolder(const std::string& folder) {
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") ::unlink((folder + "/" + name).c_str());
    }
    ::closedir(dir);
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolvane::testing::fuzz::InputReader in(data, size);
  const unsigned char mode = in.Byte();
  const unsigned segment_high = in.Byte();
  Blob blob;
  blob.segment = 1 + (((segment_high << 8) | in.Byte()) % 65535);
  blob.overclaim = (mode & 4) != 0;
  blob.bytes = in.Rest();
  if (blob.bytes.size() > 4096) return 0;  // longer scripts find nothing new, only slower

  blobcallback callback{};
  callback.blob_get_segment = GetSegment;
  callback.blob_handle = &blob;
  callback.blob_total_length = static_cast<ISC_LONG>(blob.bytes.size());
  // Mode 1: a length longer than the bytes the routine delivers. Mode 2: a
  // negative length, which reads as an empty script.
  std::string_view script = blob.bytes;
  if ((mode & 3) == 1) callback.blob_total_length += 100;
  if ((mode & 3) == 2) {
    callback.blob_total_length = -1 - static_cast<ISC_LONG>(blob.bytes.size());
    script = {};
  }
  script = script.substr(0, script.find('\0'));
  const std::string where = "script " + Escaped(script) + " segment " + std::to_string(blob.segment) +
                            " mode " + std::to_string(mode);

  tolvane::testing::FakePlatform platform;
  fakedrv::UseFakeDriver(platform);
  const std::string folder = FailureFolder();
  platform.get_environment = [folder](const std::string& name) {
    return name == "UDFTOLVANE_FAILURE_DIR" ? folder : std::string();
  };
  EmptyFolder(folder);
  fakedrv::Reset();
  fakedrv::ThreadSettings().max_active_statements = 1;
  fakedrv::FailCall(std::string(kExecutePrefix) + "!", 0, tolvane::kDriverSqlError, "refused");

  const std::string result = tolvane::RunScript(platform, &callback, kDatabase);
  FUZZ_CHECK(result == "ok", where + " result " + Escaped(result));

  const std::vector<std::string> lines = tolvane::testing::fuzz::ModelLines(script);
  std::vector<std::string> expected_sql;
  int selects = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) continue;
    expected_sql.push_back(line);
    if (tolvane::testing::fuzz::ModelIsSelect(line)) ++selects;
    const std::string file = folder + "/TESTE" + std::to_string(i) + ".TXT";
    if (line[0] == '!') {
      const std::string content = ReadFile(file);
      FUZZ_CHECK(content == line + " - " + kDatabase + "\r\n", where + " file " + Escaped(content));
    } else {
      FUZZ_CHECK(::access(file.c_str(), F_OK) != 0, where + " stray " + file);
    }
  }

  std::vector<std::string> executed;
  int connections = 0;
  for (const std::string& call : fakedrv::Log()) {
    if (call.rfind(kExecutePrefix, 0) == 0) executed.push_back(call.substr(std::string_view(kExecutePrefix).size()));
    if (call == "CreateConnection") ++connections;
  }
  FUZZ_CHECK(executed == expected_sql, where);
  FUZZ_CHECK(connections == 1 + selects, where + " connections " + std::to_string(connections));
  FUZZ_CHECK(fakedrv::LiveTotal() == 0, where + " live " + std::to_string(fakedrv::LiveTotal()));
  return 0;
}
