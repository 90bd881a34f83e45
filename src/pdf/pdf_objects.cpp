#include "pdf/pdf_objects.h"

#include "pdf/deflate.h"
#include "pdf/pdf_errors.h"

namespace velmoro::pdf {

namespace {

TPdfObject* follow(TPdfObject* o) {
  if (auto* v = dynamic_cast<TPdfVirtualObject*>(o)) return &v->Target();
  return o;
}

}  // namespace

std::unique_ptr<TPdfName> Name(std::string_view n) { return std::make_unique<TPdfName>(std::string(n)); }
std::unique_ptr<TPdfNumber> Number(int32_t v) { return std::make_unique<TPdfNumber>(v); }

void TPdfObject::WriteTo(TPdfWrite& w) const {
  if (ObjectType == TPdfObjectType::Direct) {
    WriteValueTo(w);
    return;
  }
  w.AddInteger(ObjectNumber).Add(' ').AddInteger(GenerationNumber).Add(" R");
}

// --- arrays --------------------------------------------------------------------------

size_t TPdfArray::AddItem(std::unique_ptr<TPdfObject> item) {
  if (!item) throw EPdfInvalidValue("TPdfArray");
  if (item->ObjectType == TPdfObjectType::Indirect) throw EPdfInvalidOperation("AddItem");
  items_.push_back(std::move(item));
  return items_.size() - 1;
}

size_t TPdfArray::AddReference(TPdfObject& indirect) {
  items_.push_back(std::make_unique<TPdfVirtualObject>(indirect));
  return items_.size() - 1;
}

TPdfObject* TPdfArray::Item(size_t i) const { return i < items_.size() ? follow(items_[i].get()) : nullptr; }

int TPdfArray::FindName(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (auto* n = dynamic_cast<const TPdfName*>(items_[i].get()); n && n->Value == name) return static_cast<int>(i);
  return -1;
}

void TPdfArray::WriteValueTo(TPdfWrite& w) const {
  w.Add('[');
  for (const auto& item : items_) {
    item->WriteTo(w);
    w.Add(' ');
  }
  w.Add(']');
}

// --- dictionaries --------------------------------------------------------------------

TPdfObject& TPdfDictionary::AddItem(std::string_view key, std::unique_ptr<TPdfObject> value) {
  if (!value) throw EPdfInvalidValue("TPdfDictionaryElement");
  RemoveItem(key);
  elements_.push_back({std::string(key), std::move(value), false});
  return *elements_.back().value;
}

void TPdfDictionary::AddReference(std::string_view key, TPdfObject& indirect) {
  AddItem(key, std::make_unique<TPdfVirtualObject>(indirect));
}

void TPdfDictionary::ReplaceItem(std::string_view key, std::unique_ptr<TPdfObject> value) {
  if (!value) throw EPdfInvalidValue("TPdfDictionaryElement");
  for (auto& e : elements_)
    if (e.key == key) {
      e.value = std::move(value);
      return;
    }
  elements_.push_back({std::string(key), std::move(value), false});
}

void TPdfDictionary::RemoveItem(std::string_view key) {
  std::erase_if(elements_, [&](const TPdfDictionaryElement& e) { return e.key == key; });
}

TPdfObject* TPdfDictionary::ValueByName(std::string_view key) const {
  for (const auto& e : elements_)
    if (e.key == key) return follow(e.value.get());
  return nullptr;
}

std::vector<std::string> TPdfDictionary::Keys() const {
  std::vector<std::string> keys;
  for (const auto& e : elements_) keys.push_back(e.key);
  return keys;
}

void TPdfDictionary::WriteValueTo(TPdfWrite& w) const {
  w.Add("<<\n");
  for (const auto& e : elements_) {
    if (e.hidden) continue;
    w.AddName(e.key).Add(' ');
    e.value->WriteTo(w);
    w.Add('\n');
  }
  w.Add(">>");
}

// --- streams -------------------------------------------------------------------------

TPdfStream::TPdfStream(bool compress) {
  attributes_.AddItem("Length", Number(0));
  auto filter = std::make_unique<TPdfArray>();
  if (compress) filter->AddItem(Name("FlateDecode"));
  attributes_.AddItem("Filter", std::move(filter));
}

void TPdfStream::WriteValueTo(TPdfWrite& w) const {
  auto* filter = attributes_.As<TPdfArray>("Filter");
  int flate = filter ? filter->FindName("FlateDecode") : -1;
  if (flate >= 0 && content_.size() >= 100) {
    std::string packed = deflateBuffer(content_);
    attributes_.As<TPdfNumber>("Length")->Value = static_cast<int32_t>(packed.size());
    attributes_.WriteValueTo(w);
    w.Add("\nstream\n").Add(packed).Add("\nendstream");
    return;
  }
  if (flate >= 0) filter->RemoveItem(static_cast<size_t>(flate));
  if (auto* length = attributes_.As<TPdfNumber>("Length")) length->Value = static_cast<int32_t>(content_.size());
  if (filter && filter->ItemCount() == 0) attributes_.RemoveItem("Filter");
  attributes_.WriteValueTo(w);
  w.Add("\nstream\n").Add(content_).Add("\nendstream");
}

}  // namespace velmoro::pdf
