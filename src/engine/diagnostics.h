// Compiler messages and the one place that checks the compiler's limits.
// Errors stop being recorded after maxErrors, so a hostile source cannot flood the host.
#pragma once

#include "engine/script.h"

#include <string>
#include <vector>

namespace velmoro::script {

struct Pos {
  int row = 0, col = 0;
  int module = 0;  // index into Diagnostics::modules; 0 is the main source
};

class Diagnostics {
 public:
  static constexpr int maxErrors = 50;
  std::vector<Message> messages;
  std::vector<std::u16string> modules{std::u16string()};
  int errors = 0;

  void error(Pos p, std::u16string text) { add(MessageType::Error, p, std::move(text)); }
  void warning(Pos p, std::u16string text) { add(MessageType::Warning, p, std::move(text)); }
  void hint(Pos p, std::u16string text) { add(MessageType::Hint, p, std::move(text)); }
  void add(MessageType t, Pos p, std::u16string text);
  bool full() const { return errors >= maxErrors; }
  // False (and an error naming the limit) when value exceeds limit.
  bool checkLimit(Pos p, long long value, long long limit, const char* what);

 private:
  Pos lastError_;
};

// Limits of one compilation.
namespace limits {
constexpr int includeDepth = 16;
constexpr int nesting = 256;          // expressions, statements and types nested
constexpr int treeHeight = 4000;      // operators chained and nested in one expression
constexpr int conditionals = 64;      // {$IFDEF} nesting
constexpr long long staticElements = 1 << 24;  // cells of one array or record type
constexpr int routineNesting = 30;
}  // namespace limits

}  // namespace velmoro::script
