#include "fbdrv/ServerStatus.h"

#include "fbdrv/ConnectionLoss.h"
#include "fbdrv/DriverFailure.h"
#include "fbdrv/DriverTexts.h"

namespace tolvane::fbdrv {

ServerStatus::ServerStatus(const ClientLibrary& client)
    : client_(client), status_(client.master->getStatus()), wrapper_(status_) {}

ServerStatus::~ServerStatus() { status_->dispose(); }

bool ServerStatus::Failed() const noexcept {
  return (status_->getState() & Firebird::IStatus::STATE_ERRORS) != 0;
}

void ServerStatus::ThrowIfFailed() {
  if (!Failed()) return;
  std::string text = Text();
  DriverFailureDetails details = Details();
  wrapper_.init();
  throw DriverFailure(kDriverSqlError, std::move(text), std::move(details));
}

std::string ServerStatus::Text() const {
  std::string text;
  const ISC_STATUS* vector = status_->getErrors();
  const ISC_STATUS* cursor = vector;
  char line[1024];
  while (client_.interpret(line, sizeof line, &cursor) > 0) {
    if (!text.empty()) text += "\n-";
    text += line;
  }
  if (text.empty()) text = texts::kServerSentNoText;
  char state[6] = {};
  client_.sql_state(state, vector);
  if (state[0] != '\0') {
    text += '\n';
    text += FormatText(texts::kSqlStateLine, state);
  }
  return text;
}

DriverFailureDetails ServerStatus::Details() const {
  const ISC_STATUS* vector = status_->getErrors();
  DriverFailureDetails details;
  details.isc_code = FirstErrorCode(vector);
  // The status: isc_arg_gds and a code, each followed by its arguments.
  for (const ISC_STATUS* item = vector; item != nullptr && *item != isc_arg_end;) {
    if (item[0] == isc_arg_gds) details.codes.push_back(item[1]);
    item += item[0] == isc_arg_cstring ? 3 : 2;
  }
  details.connection_lost = MeansConnectionLost(static_cast<ISC_STATUS>(details.isc_code));
  char state[6] = {};
  client_.sql_state(state, vector);
  details.sqlstate = state;
  return details;
}

}  // namespace tolvane::fbdrv
