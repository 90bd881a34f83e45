// Compiling and running scripts in the tests: an engine set up as the host sets it up
// (no main block needed, no final end needed, short-circuit), its output collected.
#pragma once

#include "common/unicode.h"
#include "engine/script.h"

#include <map>
#include <string>
#include <vector>

namespace velmoro::test {

struct ScriptRun {
  bool compiled = false;
  bool ran = false;
  std::string out;
  std::vector<script::Message> messages;
  std::optional<script::RunError> error;
};

inline void hostOptions(script::Engine& e) {
  e.options().allowNoMainBlock = true;
  e.options().allowNoEnd = true;
  e.options().shortCircuit = true;
  e.options().lineBreak = std::u16string(1, u'\n');
}

// mainFile: where the script's main file is taken to be (libraries are looked up beside it).
inline ScriptRun runScript(const std::string& source,
                           const std::map<std::string, std::string>& includes = {},
                           const std::string& mainFile = {}) {
  script::Engine e;
  hostOptions(e);
  if (!mainFile.empty()) e.options().mainFile = text::fromUtf8(mainFile);
  ScriptRun r;
  e.setWrite([&](std::u16string_view s) { r.out += text::toUtf8(s); });
  e.setIncludeHandler([&](std::u16string_view name, std::u16string& module)
                          -> std::optional<std::vector<uint8_t>> {
    auto it = includes.find(text::toUtf8(name));
    if (it == includes.end()) return std::nullopt;
    module = text::fromUtf8(it->first);
    return std::vector<uint8_t>(it->second.begin(), it->second.end());
  });
  r.compiled = e.compile(text::fromUtf8(source), u"main.dpas");
  r.messages = e.messages();
  if (r.compiled) {
    r.ran = e.run();
    r.error = e.runError();
  }
  return r;
}

// The messages, one a line: "Error module (row:col): text".
inline std::string joinedMessages(const std::vector<script::Message>& messages) {
  std::string out;
  for (const auto& m : messages)
    out += text::toUtf8(script::typeWord(m.type)) + " " + text::toUtf8(m.module) + " (" +
           std::to_string(m.row) + ":" + std::to_string(m.col) + "): " + text::toUtf8(m.text) + "\n";
  return out;
}

// An engine set up as the host sets it up, for tests that declare into it first.
struct HostedEngine {
  script::Engine e;
  std::string out;
  HostedEngine() {
    hostOptions(e);
    e.setWrite([this](std::u16string_view s) { out += text::toUtf8(s); });
  }
  bool compile(const std::string& source) { return e.compile(text::fromUtf8(source), u"main.dpas"); }
  // Compiles and runs: what the script wrote, then the compiler's messages or the run error.
  std::string run(const std::string& source) {
    out.clear();
    if (!compile(source)) return "compile: " + joinedMessages(e.messages());
    if (!e.run())
      return out + "run: " + text::toUtf8(e.runError()->className) + ": " + text::toUtf8(e.runError()->text);
    return out;
  }
};

inline std::string firstError(const ScriptRun& r) {
  for (const auto& m : r.messages)
    if (m.type == script::MessageType::Error) return text::toUtf8(m.text);
  return {};
}

}  // namespace velmoro::test
