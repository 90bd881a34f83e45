// The PDF object graph. Every value derives from TPdfObject; an object is direct
// (written in place), indirect (registered in the cross-reference table, which owns it,
// and written once under its number) or a reference (stands for an indirect object).
// Writing an indirect object anywhere but in the save loop writes "n 0 R".
//
// Containers own their direct elements. Adding an indirect object adds a reference to
// it; the object stays owned by the cross-reference table.
#pragma once

#include "pdf/pdf_write.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmoro::pdf {

enum class TPdfObjectType { Direct, Indirect, Virtual };

class TPdfObject {
 public:
  virtual ~TPdfObject() = default;
  TPdfObject() = default;
  TPdfObject(const TPdfObject&) = delete;
  TPdfObject& operator=(const TPdfObject&) = delete;

  // Writes a reference for indirect and virtual objects, else the value.
  void WriteTo(TPdfWrite& w) const;
  virtual void WriteValueTo(TPdfWrite& w) const = 0;

  TPdfObjectType ObjectType = TPdfObjectType::Direct;
  int32_t ObjectNumber = -1;
  int32_t GenerationNumber = 0;
};

// Stands for an indirect object in a container.
class TPdfVirtualObject : public TPdfObject {
 public:
  explicit TPdfVirtualObject(TPdfObject& target) : target_(target) {
    ObjectType = TPdfObjectType::Virtual;
    ObjectNumber = target.ObjectNumber;
  }
  TPdfObject& Target() const { return target_; }
  void WriteValueTo(TPdfWrite&) const override {}

 private:
  TPdfObject& target_;
};

class TPdfNull : public TPdfObject {
 public:
  void WriteValueTo(TPdfWrite& w) const override { w.Add("null"); }
};

class TPdfNumber : public TPdfObject {
 public:
  explicit TPdfNumber(int32_t v) : Value(v) {}
  void WriteValueTo(TPdfWrite& w) const override { w.AddInteger(Value); }
  int32_t Value;
};

class TPdfReal : public TPdfObject {
 public:
  explicit TPdfReal(double v) : Value(v) {}
  void WriteValueTo(TPdfWrite& w) const override { w.AddRealB(Value); }
  double Value;
};

class TPdfText : public TPdfObject {  // 8-bit text
 public:
  explicit TPdfText(std::string v) : Value(std::move(v)) {}
  void WriteValueTo(TPdfWrite& w) const override { w.AddLiteral(Value); }
  std::string Value;
};

class TPdfRawText : public TPdfText {
 public:
  using TPdfText::TPdfText;
  void WriteValueTo(TPdfWrite& w) const override { w.Add(Value); }
};

class TPdfName : public TPdfText {
 public:
  using TPdfText::TPdfText;
  void WriteValueTo(TPdfWrite& w) const override { w.AddName(Value); }
};

class TPdfTextUTF8 : public TPdfObject {
 public:
  explicit TPdfTextUTF8(std::u16string v) : Value(std::move(v)) {}
  void WriteValueTo(TPdfWrite& w) const override { w.AddTextString(Value); }
  std::u16string Value;  // kept as UTF-16: the text is written from its code units
};

class TPdfTextString : public TPdfTextUTF8 {
 public:
  using TPdfTextUTF8::TPdfTextUTF8;
};

class TPdfArray : public TPdfObject {
 public:
  TPdfArray() = default;
  // Adds a direct object (owned) and returns its index.
  size_t AddItem(std::unique_ptr<TPdfObject> item);
  // Adds a reference to a registered object.
  size_t AddReference(TPdfObject& indirect);
  size_t ItemCount() const { return items_.size(); }
  TPdfObject* Item(size_t i) const;  // references are followed
  // Index of the name element equal to name, or -1.
  int FindName(std::string_view name) const;
  void RemoveItem(size_t i) { items_.erase(items_.begin() + static_cast<ptrdiff_t>(i)); }
  void WriteValueTo(TPdfWrite& w) const override;

 private:
  std::vector<std::unique_ptr<TPdfObject>> items_;
};

class TPdfDictionary : public TPdfObject {
 public:
  struct TPdfDictionaryElement {
    std::string key;
    std::unique_ptr<TPdfObject> value;
    bool hidden = false;
  };

  // Setting a key removes its old element first, so keys stay in the order last set.
  TPdfObject& AddItem(std::string_view key, std::unique_ptr<TPdfObject> value);
  void AddReference(std::string_view key, TPdfObject& indirect);
  // Replaces the value of a key where it stands (appends when the key is new).
  void ReplaceItem(std::string_view key, std::unique_ptr<TPdfObject> value);
  void RemoveItem(std::string_view key);
  // The value under key, references followed; null when missing.
  TPdfObject* ValueByName(std::string_view key) const;
  template <typename T>
  T* As(std::string_view key) const {
    return dynamic_cast<T*>(ValueByName(key));
  }
  std::vector<std::string> Keys() const;
  void WriteValueTo(TPdfWrite& w) const override;

 private:
  std::vector<TPdfDictionaryElement> elements_;
};

class TPdfXref;

// A stream: a dictionary, a filter array and content. Content of 100 bytes or more is
// deflated when the filter array holds FlateDecode; shorter content is stored as is.
class TPdfStream : public TPdfObject {
 public:
  explicit TPdfStream(bool compress);
  TPdfDictionary& Attributes() { return attributes_; }
  const TPdfDictionary& Attributes() const { return attributes_; }
  std::string& Content() { return content_; }
  const std::string& Content() const { return content_; }
  void WriteValueTo(TPdfWrite& w) const override;

 private:
  mutable TPdfDictionary attributes_;
  std::string content_;
};

class TPdfXObject : public TPdfStream {
 public:
  using TPdfStream::TPdfStream;
};

std::unique_ptr<TPdfName> Name(std::string_view n);
std::unique_ptr<TPdfNumber> Number(int32_t v);

}  // namespace velmoro::pdf
