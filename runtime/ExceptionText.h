// The text of the exception being handled: what every front end and the run
// engine report when a failure reaches them.
#pragma once

#include <string_view>

namespace tolvane {

// Call only inside a catch block: the text points into the exception in
// flight (or a constant) and stays valid until that block is left. The
// system's exceptions give their message, memory that ran out "Out of
// memory", other standard exceptions what(), anything else "Unknown error".
std::string_view CurrentExceptionText() noexcept;

}  // namespace tolvane
