// Inside the fake driver library: what the driver objects use of its state.
#pragma once

#include <string>

#include "FakeDriver.h"

namespace tolvane::testing::fakedrv {

struct Outcome {
  tolvane::DriverResult code = 0;
  std::string error_text;
};

// Appends line to this thread's log and returns the scripted outcome of the
// call it stands for.
Outcome Record(const std::string& line);

// The next number of a connection on this thread, from 1.
int NextConnectionNumber();

void CountLive(Interface kind, int delta);

}  // namespace tolvane::testing::fakedrv
