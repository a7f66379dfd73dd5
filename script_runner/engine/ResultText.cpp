#include "script_runner/engine/ResultText.h"

#include "script_runner/engine/RunnerMessages.h"

namespace tolvane {

std::string ComposeResultText(std::string_view message, std::string_view statement) {
  const std::string_view separator = kSResultSeparator;
  std::string text;
  const std::size_t full = message.size() + separator.size() + statement.size();
  text.reserve(full < kResultTextMaxBytes ? full : kResultTextMaxBytes);
  text.append(message.substr(0, kResultTextMaxBytes));
  text.append(separator.substr(0, kResultTextMaxBytes - text.size()));
  text.append(statement.substr(0, kResultTextMaxBytes - text.size()));
  return text;
}

}  // namespace tolvane
