// tolerate=exists: whether a failure means only that a statement's work is
// already done: its object already exists, or, for a DROP, is gone already.
// Decided from the database's codes (the same on Firebird 3 and 5), never
// from message texts.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tolvane {

// codes: every code of the failure's status, in order.
bool FailsAsAlreadyDone(std::string_view statement, std::span<const std::int64_t> codes);

}  // namespace tolvane
