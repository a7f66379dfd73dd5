// How a run commits: chosen once per run, consulted around every statement.
#pragma once

namespace tolvane {

class TSQLConnection;
struct StatementOutcome;

class TransactionStrategy {
 public:
  virtual ~TransactionStrategy() = default;
  // Adjusts the connection's parameters before it opens.
  virtual void Configure(TSQLConnection& connection) = 0;
  // After a failed statement (its failure file already written): whether the
  // run goes on.
  virtual bool ContinueAfterFailure(const StatementOutcome& outcome) = 0;
};

// Every statement commits on its own; a failure is recorded and the run
// goes on.
class ContinueStrategy final : public TransactionStrategy {
 public:
  void Configure(TSQLConnection&) override {}
  bool ContinueAfterFailure(const StatementOutcome&) override { return true; }
};

}  // namespace tolvane
