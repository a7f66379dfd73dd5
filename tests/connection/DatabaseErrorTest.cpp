// The component name in front of the layer's own messages.
#include <gtest/gtest.h>

#include "connection/DatabaseError.h"
#include "connection/SQLConnection.h"
#include "runtime/Exceptions.h"

namespace tolvane {
namespace {

std::string Message(const std::function<void()>& raise) {
  try {
    raise();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  ADD_FAILURE() << "nothing raised";
  return {};
}

TEST(DatabaseError, NameIsPrefixedOnlyWhenAComponentWithANameIsGiven) {
  TSQLConnection connection(nullptr);
  EXPECT_EQ(Message([&] { RaiseDatabaseError("DLL/Shared Library Name not Set", &connection); }),
            "DLL/Shared Library Name not Set");
  connection.SetName("Clone1");
  EXPECT_EQ(Message([&] { RaiseDatabaseError("DLL/Shared Library Name not Set", &connection); }),
            "Clone1: DLL/Shared Library Name not Set");
  EXPECT_EQ(Message([] { RaiseDatabaseError("Missing Database property", nullptr); }),
            "Missing Database property");
  EXPECT_EQ(Message([&] {
              RaiseDatabaseErrorFmt("Cannot connect to database '%s'", {"IB"}, &connection);
            }),
            "Clone1: Cannot connect to database 'IB'");
}

}  // namespace
}  // namespace tolvane
