// Which statement texts count toward a connection's active statements.
#pragma once

#include <string_view>

namespace tolvane {

// True when the text's first token is the word SELECT, in any letter case.
// Blanks, CR, LF, "(" and "," before it are skipped, and the token runs up to
// the next of those or the end. A tab does not end a token ("SELECT\t*" does
// not count), and neither does "*" ("SELECT*" does not count); a comment, a
// quoted name, a number or an operator first never counts.
bool IsSelectStatement(std::string_view sql);

}  // namespace tolvane
