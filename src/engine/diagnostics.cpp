#include "engine/diagnostics.h"

#include "common/unicode.h"

namespace velmoro::script {

const char16_t* typeWord(MessageType t) {
  switch (t) {
    case MessageType::Error: return u"Error";
    case MessageType::Warning: return u"Warning";
    case MessageType::Hint: return u"Hint";
  }
  return u"Error";
}

void Diagnostics::add(MessageType t, Pos p, std::u16string text) {
  if (t == MessageType::Error) {
    if (errors >= maxErrors) return;
    // one error per place: what follows from it would only repeat it
    if (errors > 0 && lastError_.row == p.row && lastError_.col == p.col && lastError_.module == p.module)
      return;
    lastError_ = p;
    ++errors;
  } else if (messages.size() > 500) {
    return;
  }
  Message m;
  m.type = t;
  m.row = p.row;
  m.col = p.col;
  if (p.module > 0 && p.module < static_cast<int>(modules.size())) m.module = modules[p.module];
  m.text = std::move(text);
  messages.push_back(std::move(m));
}

bool Diagnostics::checkLimit(Pos p, long long value, long long limit, const char* what) {
  if (value <= limit) return true;
  error(p, u"Limit exceeded: " + text::fromAscii(what) + u" (at most " +
               text::fromAscii(std::to_string(limit)) + u")");
  return false;
}

}  // namespace velmoro::script
