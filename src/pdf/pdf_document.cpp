#include "pdf/pdf_document.h"

#include "common/atomic_file.h"
#include "pdf/pdf_canvas.h"
#include "pdf/pdf_errors.h"
#include "pdf/pdf_fonts.h"
#include "pdf/pdf_image.h"

#include <algorithm>
#include <cstdio>

namespace velmoro::pdf {

namespace {

struct PaperPoints {
  int32_t width, height;
};
constexpr PaperPoints kPapers[5] = {{595, 842}, {419, 595}, {842, 1190}, {612, 792}, {612, 1008}};

int charSetOf(int codePage) {
  switch (codePage) {
    case 874: return 222;
    case 932: return 128;
    case 936: return 134;
    case 949: return 129;
    case 1250: return 238;
    case 1251: return 204;
    case 1253: return 161;
    case 1254: return 162;
    case 1255: return 177;
    case 1256: return 178;
    case 1257: return 186;
    case 1258: return 163;
    default: return 0;
  }
}

}  // namespace

TPdfXref::TPdfXref() { entries_.push_back({'f', -1, 65535, nullptr}); }

void TPdfXref::Register(std::unique_ptr<TPdfObject> object) {
  if (!object || object->ObjectType != TPdfObjectType::Direct) throw EPdfInvalidOperation("AddObject");
  object->ObjectNumber = static_cast<int32_t>(entries_.size());
  object->ObjectType = TPdfObjectType::Indirect;
  entries_.push_back({'n', -1, 0, std::move(object)});
}

TPdfDocument::TPdfDocument(bool useOutlines, int codePage, bool pdfA1)
    : useOutlines_(useOutlines), pdfA1_(pdfA1), codePage_(codePage == 0 ? 1252 : codePage) {
  // The 8-bit text of PDF fonts is Windows-1252 here: the system's own code page is
  // UTF-8, which no simple PDF font encoding covers.
  charSet_ = charSetOf(codePage_);
  SetDefaultPaperSize(psA4);
  canvas_ = std::make_unique<TPdfCanvas>(*this);
  trueTypeFontNames_ = installedTrueTypeNames();
  trailer_->AddItem("Size", Number(0));

  catalog_ = &xref_.AddObject(std::make_unique<TPdfDictionary>());
  catalog_->AddItem("Type", Name("Catalog"));
  trailer_->AddReference("Root", *catalog_);
  catalog_->AddItem("PageLayout", Name("SinglePage"));

  info_ = &xref_.AddObject(std::make_unique<TPdfDictionary>());
  info_->AddItem("Producer", std::make_unique<TPdfText>("Velmoro PDF engine 1.16"));
  trailer_->AddReference("Info", *info_);
  info_->AddItem("CreationDate", std::make_unique<TPdfText>(formatDate(Now())));

  root_ = &xref_.AddObject(std::make_unique<TPdfDictionary>());
  root_->AddItem("Type", Name("Pages"));
  root_->AddItem("Kids", std::make_unique<TPdfArray>());
  root_->AddItem("Count", Number(0));
  catalog_->AddReference("Pages", *root_);
}

TPdfDocument::~TPdfDocument() = default;

void TPdfDocument::SetDefaultPaperSize(uint8_t code) {
  paperSize_ = code;
  if (code < 5) {
    width_ = kPapers[code].width;
    height_ = kPapers[code].height;
  }
}

void TPdfDocument::SetDefaultPageWidth(int32_t points) {
  width_ = points;
  paperSize_ = psUserDefined;
}

void TPdfDocument::SetDefaultPageHeight(int32_t points) {
  height_ = points;
  paperSize_ = psUserDefined;
}

void TPdfDocument::SetDefaultPageLandscape(bool landscape) {
  if (landscape != DefaultPageLandscape()) std::swap(width_, height_);
}

void TPdfDocument::SetInfo(std::string_view key, std::u16string_view value) {
  info_->AddItem(key, std::make_unique<TPdfTextString>(std::u16string(value)));
}

TPdfStream& TPdfDocument::NewStream() { return xref_.AddObject(std::make_unique<TPdfStream>(compression_)); }

TPdfImage& TPdfDocument::AddXObject(std::unique_ptr<TPdfImage> image) {
  if (!image) throw EPdfInvalidValue("AddXObject: invalid TPdfImage");
  const std::string name = "SynImg" + std::to_string(xObjects_.size());
  for (const TPdfImage* other : xObjects_)
    if (other->Name() == name) throw EPdfInvalidValue("AddXObject: dup name " + name);
  auto* type = image->Attributes().As<TPdfName>("Type");
  if (!type || type->Value != "XObject" || !image->Attributes().ValueByName("Subtype"))
    throw EPdfInvalidValue("AddXObject: invalid TPdfImage " + name);
  TPdfImage& added = xref_.AddObject(std::move(image));
  added.Attributes().AddItem("Name", Name(name));
  xObjects_.push_back(&added);
  return added;
}

TPdfImage* TPdfDocument::FindImage(const TPdfImage& like) const {
  for (TPdfImage* image : xObjects_)
    if (image->SameAs(like)) return image;
  return nullptr;
}

namespace {

std::unique_ptr<TPdfArray> copyOf(const TPdfArray& dest) {
  // [page /XYZ 0 top 0]
  auto copy = std::make_unique<TPdfArray>();
  copy->AddReference(*dest.Item(0));
  copy->AddItem(Name("XYZ"));
  for (size_t i = 2; i < dest.ItemCount(); ++i) copy->AddItem(Number(dynamic_cast<TPdfNumber*>(dest.Item(i))->Value));
  return copy;
}

}  // namespace

void TPdfDocument::AddBookmark(const std::string& name, TPdfPage& page, int32_t top) {
  if (name.empty() || bookmarks_.count(name))
    throw EPdfInvalidValue("Duplicated or void bookmark name \"" + name + "\"");
  auto dest = std::make_unique<TPdfArray>();
  dest->AddReference(page);
  dest->AddItem(Name("XYZ"));
  for (int32_t v : {0, top, 0}) dest->AddItem(Number(v));
  auto* dests = catalog_->As<TPdfDictionary>("Dests");
  if (!dests) dests = &static_cast<TPdfDictionary&>(catalog_->AddItem("Dests", std::make_unique<TPdfDictionary>()));
  TPdfArray& stored = static_cast<TPdfArray&>(dests->AddItem(name, std::move(dest)));
  bookmarks_[name] = &stored;
  auto [first, last] = pendingLinks_.equal_range(name);
  for (auto it = first; it != last; ++it) it->second->AddItem("Dest", copyOf(stored));
  pendingLinks_.erase(first, last);
}

void TPdfDocument::AddLink(TPdfPage& page, double x1, double y1, double x2, double y2, const std::string& name) {
  TPdfDictionary& link = xref_.AddObject(std::make_unique<TPdfDictionary>());
  link.AddItem("Type", Name("Annot"));
  link.AddItem("Subtype", Name("Link"));
  link.AddItem("F", Number(4));
  auto rect = std::make_unique<TPdfArray>();
  for (double v : {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)})
    rect->AddItem(std::make_unique<TPdfReal>(v));
  link.AddItem("Rect", std::move(rect));
  if (auto it = bookmarks_.find(name); it != bookmarks_.end())
    link.AddItem("Dest", copyOf(*it->second));
  else
    pendingLinks_.emplace(name, &link);
  auto* annots = page.As<TPdfArray>("Annots");
  if (!annots) annots = &static_cast<TPdfArray&>(page.AddItem("Annots", std::make_unique<TPdfArray>()));
  annots->AddReference(link);
}

TPdfPage& TPdfDocument::AddPage() {
  if (!root_) throw EPdfInvalidOperation("AddPage");
  auto page = std::make_unique<TPdfPage>();
  auto box = std::make_unique<TPdfArray>();
  for (int32_t v : {0, 0, width_, height_}) box->AddItem(Number(v));
  page->AddItem("MediaBox", std::move(box));
  TPdfPage& p = xref_.AddObject(std::move(page));
  pages_.push_back(&p);
  auto* kids = root_->As<TPdfArray>("Kids");
  kids->AddReference(p);
  root_->As<TPdfNumber>("Count")->Value = static_cast<int32_t>(kids->ItemCount());

  p.AddItem("Type", Name("Page"));
  p.AddReference("Parent", *root_);
  auto resources = std::make_unique<TPdfDictionary>();
  resources->AddItem("Font", std::make_unique<TPdfDictionary>());
  resources->AddItem("XObject", std::make_unique<TPdfDictionary>());
  auto procSet = std::make_unique<TPdfArray>();
  for (const char* n : {"PDF", "Text", "ImageC"}) procSet->AddItem(Name(n));
  resources->AddItem("ProcSet", std::move(procSet));
  p.AddItem("Resources", std::move(resources));
  p.Contents = &NewStream();
  p.AddReference("Contents", *p.Contents);
  canvas_->BindPage(p);
  return p;
}

std::string TPdfDocument::SaveToBytes(std::time_t modificationTime) {
  if (pages_.empty()) throw EPdfInvalidOperation("GetPage");
  info_->AddItem("ModDate", std::make_unique<TPdfText>(formatDate(modificationTime ? modificationTime : Now())));
  catalog_->RemoveItem("OpenAction");
  for (auto& font : fonts_) font->Complete();

  TPdfWrite w;
  w.Add(header_);
  for (size_t i = 1; i < xref_.ItemCount(); ++i) {
    auto& entry = xref_.Item(i);
    if (!entry.object || entry.object->ObjectType != TPdfObjectType::Indirect)
      throw EPdfInvalidOperation("WriteValueTo");
    entry.offset = static_cast<int64_t>(w.Position());
    w.AddInteger(entry.object->ObjectNumber).Add(' ').AddInteger(entry.object->GenerationNumber).Add(" obj\n");
    entry.object->WriteValueTo(w);
    w.Add("\nendobj\n");
  }
  size_t xrefOffset = w.Position();
  w.Add("xref\n0 ").AddInteger(static_cast<int64_t>(xref_.ItemCount())).Add('\n');
  for (size_t i = 0; i < xref_.ItemCount(); ++i) {
    auto& entry = xref_.Item(i);
    char line[32];
    std::snprintf(line, sizeof line, "%010lld %05d %c \n", static_cast<long long>(entry.offset < 0 ? 0 : entry.offset),
                  entry.generation, entry.kind);
    w.Add(line);
  }
  trailer_->As<TPdfNumber>("Size")->Value = static_cast<int32_t>(xref_.ItemCount());
  w.Add("trailer\n");
  trailer_->WriteValueTo(w);
  w.Add("\nstartxref\n").AddInteger(static_cast<int64_t>(xrefOffset)).Add("\n%%EOF\n");
  return std::move(w.Buffer());
}

bool TPdfDocument::SaveToFile(const std::u16string& path) {
  try {
    std::string bytes = SaveToBytes();
    writeFileAtomically(path, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace velmoro::pdf
