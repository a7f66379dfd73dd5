// A connection configured as the script runner configures its own, on the
// fake driver; every test ends by checking that no driver reference was left.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "FakeDriverSetup.h"

namespace tolvane {

class RunnerConnectionFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    fakedrv::Reset();
    fakedrv::UseFakeDriver(platform_);
    connection_ = std::make_unique<TSQLConnection>(nullptr, platform_);
    fakedrv::ConfigureLikeRunner(*connection_, "/data/x.fdb");
  }
  void TearDown() override {
    connection_.reset();
    EXPECT_EQ(fakedrv::LiveTotal(), 0) << "a driver reference was never released";
  }

  testing::FakePlatform platform_;
  std::unique_ptr<TSQLConnection> connection_;
};

}  // namespace tolvane
