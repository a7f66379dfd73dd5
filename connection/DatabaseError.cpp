#include "connection/DatabaseError.h"

#include "runtime/Component.h"
#include "runtime/Exceptions.h"
#include "runtime/Text.h"

namespace tolvane {

void RaiseDatabaseError(const std::string& message, const TComponent* component) {
  if (component != nullptr && !component->Name().empty())
    throw EDatabaseError(Format("%s: %s", {component->Name(), message}));
  throw EDatabaseError(message);
}

void RaiseDatabaseErrorFmt(std::string_view format, std::initializer_list<std::string_view> args,
                           const TComponent* component) {
  RaiseDatabaseError(Format(format, args), component);
}

}  // namespace tolvane
