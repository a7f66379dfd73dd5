// Speed of the isql splitter alone: splits a script held in memory and
// prints MB/s, to set against the time a run of the same script takes.
//   tolvane-bench-isql-split [--size-mb N] [--write FILE] [--slice N FILE] [--runs N] [SCRIPT]
// Without SCRIPT it splits a generated isql script of about N MB (100 by
// default): statements over several lines with literals and comments, two
// statements on some lines, and a procedure under SET TERM every 1,000
// statements. --write FILE saves that script, so a run can be timed on the
// very same bytes. --slice N FILE saves the script's first lines, the ones
// that hold its first N pieces, so that a run of a part of it can stand for
// the whole. Prints one line per run and a last line
//   split: <bytes> bytes, <pieces> pieces, best <s> s, median <s> s, <MB/s> MB/s (median)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "script_runner/scripts/IsqlSplitter.h"

namespace {

std::string GenerateScript(std::size_t target_bytes) {
  std::string script;
  script.reserve(target_bytes + 512);
  script += "-- generated for the splitter bench\nSET SQL DIALECT 3;\n";
  char buffer[512];
  for (long n = 0; script.size() < target_bytes; ++n) {
    if (n % 1000 == 999) {
      std::snprintf(buffer, sizeof buffer,
                    "SET TERM ^ ;\nCREATE OR ALTER PROCEDURE P%ld AS\nDECLARE x INTEGER;\nBEGIN\n"
                    "  x = %ld; /* a comment; with a terminator */\n  INSERT INTO T VALUES (:x, 'a;b');\n"
                    "END^\nSET TERM ; ^\n",
                    n, n);
    } else if (n % 3 == 0) {
      std::snprintf(buffer, sizeof buffer, "INSERT INTO T (ID, NAME) VALUES (%ld, 'it''s %ld'); COMMIT;\n", n, n);
    } else {
      std::snprintf(buffer, sizeof buffer,
                    "UPDATE T\n   SET NAME = q'{x;y}' -- %ld; not the end\n WHERE ID = %ld;\n", n, n);
    }
    script += buffer;
  }
  return script;
}

// The lines that hold the first `pieces` pieces, whole, so that the slice
// splits into those pieces (the line holding the last may add one more).
bool WriteSlice(const std::string& script, long pieces, const std::string& file) {
  tolvane::IsqlSplitter splitter(script);
  tolvane::ScriptStatement piece;
  int last_line = 0;
  for (long n = 0; n < pieces && splitter.Next(&piece); ++n) last_line = piece.last_line;
  std::size_t end = 0;
  for (int line = 0; line < last_line && end < script.size(); ++line) {
    end = script.find('\n', end);
    end = end == std::string::npos ? script.size() : end + 1;
  }
  std::ofstream out(file, std::ios::binary);
  out.write(script.data(), static_cast<std::streamsize>(end));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
    return false;
  }
  std::printf("slice: %zu bytes, %d lines\n", end, last_line);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t size_mb = 100;
  int runs = 5;
  std::string write_to;
  std::string slice_to;
  long slice_pieces = 0;
  std::string script_file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--size-mb" || arg == "--runs" || arg == "--write") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (arg == "--size-mb") size_mb = std::strtoul(value.c_str(), nullptr, 10);
      if (arg == "--runs") runs = std::max(1, std::atoi(value.c_str()));
      if (arg == "--write") write_to = value;
    } else if (arg == "--slice" && i + 2 < argc) {
      slice_pieces = std::strtol(argv[++i], nullptr, 10);
      slice_to = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && script_file.empty()) {
      script_file = arg;
    } else {
      std::fprintf(stderr, "usage: %s [--size-mb N] [--write FILE] [--slice N FILE] [--runs N] [SCRIPT]\n", argv[0]);
      return 2;
    }
  }

  std::string script;
  if (!script_file.empty()) {
    std::ifstream in(script_file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", script_file.c_str());
      return 1;
    }
    script.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } else {
    script = GenerateScript(size_mb * 1000 * 1000);
  }
  if (!write_to.empty()) {
    std::ofstream out(write_to, std::ios::binary);
    out.write(script.data(), static_cast<std::streamsize>(script.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", write_to.c_str());
      return 1;
    }
  }

  if (!slice_to.empty() && !WriteSlice(script, slice_pieces, slice_to)) return 1;

  std::vector<double> seconds;
  long pieces = 0;
  unsigned long checksum = 0;  // keeps the pieces from being optimised away
  for (int run = 0; run < runs; ++run) {
    const auto started = std::chrono::steady_clock::now();
    tolvane::IsqlSplitter splitter(script);
    tolvane::ScriptStatement piece;
    pieces = 0;
    while (splitter.Next(&piece)) {
      ++pieces;
      checksum += piece.text.size() + static_cast<unsigned long>(piece.last_line);
    }
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    std::printf("run %d: %.3f s\n", run + 1, seconds.back());
  }
  std::sort(seconds.begin(), seconds.end());
  const double median = seconds[seconds.size() / 2];
  std::printf("split: %zu bytes, %ld pieces, best %.3f s, median %.3f s, %.1f MB/s (median) [%lu]\n",
              script.size(), pieces, seconds.front(), median, script.size() / 1e6 / median, checksum % 10);
  return 0;
}
