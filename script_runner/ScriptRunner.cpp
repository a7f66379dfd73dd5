#include "script_runner/ScriptRunner.h"

#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "connection/SQLConnection.h"
#include "runtime/Exceptions.h"
#include "runtime/LineSplitting.h"
#include "runtime/Messages.h"
#include "runtime/Platform.h"
#include "runtime/StringList.h"
#include "runtime/ThreadOwned.h"
#include "script_runner/FailureFile.h"

namespace tolvane {
namespace {

// The error text of the last failed run on this thread; the host reads it
// after the call returns and never frees it.
struct ResultText {
  std::string text;
};

constexpr long kMaxSegment = 65535;

// The script buffer, released on every way out.
class ScriptBuffer {
 public:
  ScriptBuffer(Platform& platform, std::size_t size)
      : platform_(platform), data_(platform.AllocateBuffer(size)) {}
  ~ScriptBuffer() { Free(); }
  ScriptBuffer(const ScriptBuffer&) = delete;
  ScriptBuffer& operator=(const ScriptBuffer&) = delete;
  char* Data() const { return data_; }
  void Free() {
    if (data_ != nullptr) platform_.FreeBuffer(data_);
    data_ = nullptr;
  }

 private:
  Platform& platform_;
  char* data_;
};

// Reads the whole BLOB into buffer, which stays the script's one copy. The
// status of the get-segment routine is not examined: a call that delivers
// nothing ends the reading. Returns the script text, up to its first zero byte.
std::string_view ReadScript(const blobcallback* blob, ScriptBuffer& buffer, long total) {
  if (buffer.Data() == nullptr) throw EOutOfMemory(kSOutOfMemory);
  long read = 0;
  while (read < total) {
    long missing = total - read;
    ISC_USHORT wanted = static_cast<ISC_USHORT>(missing < kMaxSegment ? missing : kMaxSegment);
    ISC_USHORT delivered = 0;
    blob->blob_get_segment(blob->blob_handle, reinterpret_cast<ISC_UCHAR*>(buffer.Data() + read),
                           wanted, &delivered);
    if (delivered == 0) break;
    // A routine that claims more than it was asked for must not move us
    // past the buffer.
    read += delivered < wanted ? delivered : wanted;
  }
  buffer.Data()[read] = '\0';
  return std::string_view(buffer.Data(), std::strlen(buffer.Data()));
}

long TotalLength(const blobcallback* blob) {
  if (blob == nullptr || blob->blob_handle == nullptr || blob->blob_get_segment == nullptr)
    return 0;
  return blob->blob_total_length > 0 ? blob->blob_total_length : 0;
}

// Owns the run's component. Destroy() lets a close error reach the run's
// handler; the destructor is the last resort on paths that already failed.
class ConnectionHolder {
 public:
  ~ConnectionHolder() {
    try {
      Destroy();
    } catch (...) {
    }
  }
  void Create(Platform& platform) { connection_ = new TSQLConnection(nullptr, platform); }
  TSQLConnection* operator->() const { return connection_; }
  void Destroy() {
    TSQLConnection* connection = connection_;
    connection_ = nullptr;
    delete connection;
  }

 private:
  TSQLConnection* connection_ = nullptr;
};

}  // namespace

void ConfigureRunnerConnection(TSQLConnection& connection, const std::string& database_path) {
  connection.Params().Clear();
  connection.SetConnectionName(kRunnerConnectionName);
  connection.SetDriverName(kRunnerDriverName);
  connection.SetGetDriverFunc(kRunnerGetDriverFunc);
  connection.SetLibraryName(kRunnerLibraryName);
  connection.SetLoginPrompt(false);
  TStringList& params = connection.Params();
  params.SetValue("Database", database_path);
  params.SetValue("User_Name", kRunnerUserName);
  params.SetValue("Password", kRunnerPassword);
  params.SetValue("RoleName", "RoleName");
  params.SetValue("SQLDialect", "3");
  params.SetValue("ServerCharSet", "");
  params.SetValue("BlobSize", "-1");
  params.SetValue("CommitRetain", "False");
  params.SetValue("WaitOnLocks", "True");
  params.SetValue("ErrorResourceFile", "");
  params.SetValue("LocaleCode", "0000");
  params.SetValue("Interbase TransIsolation", "ReadCommited");
  params.SetValue("Trim Char", "False");
  connection.SetVendorLib(kRunnerVendorLib);
}

namespace {

const char* Fail(std::string_view message, const std::string& statement) {
  std::string text;
  text.reserve(message.size() + 8 + statement.size());
  text.append(message).append(kSResultSeparator).append(statement);
  std::string& result_text = ThreadOwnedObject<ResultText>().text;
  result_text.swap(text);
  return result_text.c_str();
}

}  // namespace

const char* RunScript(Platform& platform, const blobcallback* blob, const char* database_path) {
  std::string current_statement;
  try {
    ConnectionHolder connection;
    try {
      const std::string path = database_path != nullptr ? database_path : "";
      // The lines point into the script buffer, so a large script is held
      // once, not twice; the buffer lives until the run ends.
      const long total = TotalLength(blob);
      ScriptBuffer buffer(platform, static_cast<std::size_t>(total) + 1);
      std::vector<std::string_view> lines;
      SplitLines(ReadScript(blob, buffer, total),
                 [&lines](std::string_view line) { lines.push_back(line); });
      connection.Create(platform);
      ConfigureRunnerConnection(*connection.operator->(), path);
      connection->SetConnected(true);

      std::string failure_folder;
      const int count = static_cast<int>(lines.size());
      for (int index = 0; index < count; ++index) {
        const std::string_view line = lines[static_cast<std::size_t>(index)];
        if (line.empty()) continue;
        current_statement.assign(line);
        try {
          connection->ExecuteSqlDirect(current_statement);
        } catch (...) {
          // The line's failure is recorded by its file alone; a failure to
          // write that file ends the run.
          if (failure_folder.empty()) failure_folder = FailureFolder(platform);
          WriteFailureFile(platform, FailureFilePath(failure_folder, index), current_statement,
                           path);
        }
      }
      connection.Destroy();
      return kSResultOk;
    } catch (const Exception& e) {
      const char* result = Fail(e.Message(), current_statement);
      try {
        connection.Destroy();
      } catch (...) {
        // The run already failed; its first failure is the one reported.
      }
      return result;
    }
  } catch (const Exception& e) {
    return Fail(e.Message(), current_statement);
  } catch (const std::bad_alloc&) {
    return Fail(kSOutOfMemory, current_statement);
  } catch (const std::exception& e) {
    return Fail(e.what(), current_statement);
  } catch (...) {
    return Fail("Unknown error", current_statement);
  }
}

}  // namespace tolvane
