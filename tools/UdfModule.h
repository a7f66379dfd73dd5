// The module loaded as a server loads it, by path, with its one entry point.
#pragma once

#include <ibase.h>

#include <stdexcept>
#include <string>

namespace tolvane::exec {

class ModuleLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class UdfModule {
 public:
  using ExecutaSql = char* (*)(blobcallback*, const char*);

  // Throws ModuleLoadError with the loader's reason.
  explicit UdfModule(const std::string& path);
  UdfModule(const UdfModule&) = delete;
  UdfModule& operator=(const UdfModule&) = delete;
  // The module stays loaded for the life of the process, as in a server: the
  // driver it loaded may still be in use by then.
  ~UdfModule() = default;

  const char* Run(blobcallback* script, const char* database) const;

 private:
  void* handle_ = nullptr;
  ExecutaSql entry_ = nullptr;
};

}  // namespace tolvane::exec
