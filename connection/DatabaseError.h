// Raising the connection layer's own errors.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tolvane {

class TComponent;

// Raises EDatabaseError with message, prefixed by "<Name>: " when a component
// is given and its Name is not empty.
[[noreturn]] void RaiseDatabaseError(const std::string& message, const TComponent* component);

// Fills each "%s" of format with the next argument, then RaiseDatabaseError.
[[noreturn]] void RaiseDatabaseErrorFmt(std::string_view format,
                                        std::initializer_list<std::string_view> args,
                                        const TComponent* component);

}  // namespace tolvane
