// Loading the module into a host must leave no trace until executa_sql is
// called: no thread, no file, no driver or client library in the process.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::size_t ThreadCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& task : fs::directory_iterator("/proc/self/task")) ++count;
  return count;
}

std::string Mappings() {
  std::ifstream maps("/proc/self/maps");
  return {std::istreambuf_iterator<char>(maps), std::istreambuf_iterator<char>()};
}

class ModuleLoad : public testing::Test {
 protected:
  void SetUp() override {
    failure_dir_ = fs::temp_directory_path() / ("tolvane-load-" + std::to_string(getpid()));
    fs::create_directories(failure_dir_);
    setenv("UDFTOLVANE_FAILURE_DIR", failure_dir_.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(failure_dir_); }

  // Loads, checks the export, unloads; what a server does with an unused module.
  void LoadAndUnloadOnce() {
    const std::size_t threads_before = ThreadCount();
    void* module = dlopen(TOLVANE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    EXPECT_NE(dlsym(module, "executa_sql"), nullptr);
    EXPECT_EQ(ThreadCount(), threads_before);
    const std::string maps = Mappings();
    EXPECT_NE(maps.find("UDFTolvane.so"), std::string::npos);
    EXPECT_EQ(maps.find("libfbdrv"), std::string::npos);
    EXPECT_EQ(maps.find("libfbclient"), std::string::npos);
    EXPECT_EQ(dlclose(module), 0) << dlerror();
    EXPECT_EQ(ThreadCount(), threads_before);
    EXPECT_TRUE(fs::is_empty(failure_dir_));
  }

  fs::path failure_dir_;
};

TEST_F(ModuleLoad, LoadingStartsNoThreadWritesNoFileAndLoadsNoDriver) { LoadAndUnloadOnce(); }

TEST_F(ModuleLoad, ASecondLoadBehavesLikeTheFirst) {
  LoadAndUnloadOnce();
  LoadAndUnloadOnce();
}

// Only the one entry point may be found by name: helpers stay hidden, so a
// server's other modules cannot bind to them by accident.
TEST_F(ModuleLoad, HelpersAreNotFoundByName) {
  void* module = dlopen(TOLVANE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  EXPECT_EQ(dlsym(module, "_ZN7tolvane9RunScriptERNS_8PlatformEPK12blobcallbackPKc"), nullptr);
  EXPECT_EQ(dlsym(module, "getSQLDriverINTERBASE"), nullptr);
  dlclose(module);
}

}  // namespace
