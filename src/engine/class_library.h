// The objects of the standard classes as the host's C++ sees them: a host creates a
// string list for a script variable, reads what the script put in it, and so on.
// declareClassesLibrary declares the classes (TObject, TPersistent, TStream,
// TMemoryStream, TStrings, TStringList) with their types and exception classes.
#pragma once

#include "common/unicode.h"
#include "engine/host.h"

#include <algorithm>
#include <string>
#include <vector>

namespace velmoro::script {

class Engine;

void declareClassesLibrary(Engine& engine);

// New objects of the standard classes, as a script's constructor makes them.
ObjectRef newStringList();
ObjectRef newMemoryStream();

// TStream: what its members need of a stream.
class Stream : public Object {
 public:
  virtual int64_t size() const = 0;
  virtual void setSize(int64_t n) = 0;
  virtual std::string read(int64_t count) = 0;  // at the position, which moves
  virtual void write(std::string_view bytes) = 0;
  int64_t position = 0;
};

class MemoryStream final : public Stream {
 public:
  std::string data;
  int64_t size() const override { return static_cast<int64_t>(data.size()); }
  void setSize(int64_t n) override {
    data.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
    position = std::min(position, size());
  }
  std::string read(int64_t count) override {
    if (count <= 0 || position >= size()) return {};
    std::string r = data.substr(static_cast<size_t>(position), static_cast<size_t>(count));
    position += static_cast<int64_t>(r.size());
    return r;
  }
  void write(std::string_view bytes) override {
    if (position > size()) data.resize(static_cast<size_t>(position));
    data.replace(static_cast<size_t>(position), std::min(bytes.size(), data.size() - static_cast<size_t>(position)),
                 bytes);
    position += static_cast<int64_t>(bytes.size());
  }
  void onFree() override { std::string().swap(data); }
};

// TStringList.Duplicates
enum Duplicates { dupIgnore, dupAccept, dupError };

// TStrings and TStringList: the lines, each with an object, and the list's settings.
class StringList final : public Object {
 public:
  struct Item {
    std::u16string s;
    ObjectRef object;
  };
  std::vector<Item> items;
  bool sorted = false, caseSensitive = false, strictDelimiter = false;
  int duplicates = dupIgnore;
  char16_t delimiter = u',', quoteChar = u'"', nameValueSeparator = u'=';
  int updates = 0;
  Callback onChange, onChanging;

  int compare(const std::u16string& a, const std::u16string& b) const {
    if (caseSensitive) return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;
    return text::compareIgnoreCase(a, b);
  }
  // Binary search of a sorted list: whether s is there, and where it is or belongs.
  bool find(const std::u16string& s, int& index) const {
    int lo = 0, hi = static_cast<int>(items.size()) - 1;
    bool found = false;
    while (lo <= hi) {
      int mid = (lo + hi) / 2;
      int c = compare(items[mid].s, s);
      if (c < 0) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
        if (c == 0) {
          found = true;
          if (duplicates != dupAccept) lo = mid;
        }
      }
    }
    index = lo;
    return found;
  }
  int indexOf(const std::u16string& s) const {
    if (sorted) {
      int i = 0;
      return find(s, i) ? i : -1;
    }
    for (size_t k = 0; k < items.size(); ++k)
      if (compare(items[k].s, s) == 0) return static_cast<int>(k);
    return -1;
  }
  std::u16string nameAt(size_t k) const {
    size_t eq = items[k].s.find(nameValueSeparator);
    return eq == std::u16string::npos ? std::u16string() : items[k].s.substr(0, eq);
  }
  int indexOfName(const std::u16string& name) const {
    for (size_t k = 0; k < items.size(); ++k) {
      size_t eq = items[k].s.find(nameValueSeparator);
      if (eq != std::u16string::npos && compare(items[k].s.substr(0, eq), name) == 0) return static_cast<int>(k);
    }
    return -1;
  }
  void sort() {
    std::stable_sort(items.begin(), items.end(),
                     [&](const Item& a, const Item& b) { return compare(a.s, b.s) < 0; });
  }
  void onFree() override { items.clear(); }
};

}  // namespace velmoro::script
