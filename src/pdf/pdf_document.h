// TPdfDocument: a PDF 1.3 document built in memory as an object graph and written in one
// pass: header, numbered objects, cross-reference table, trailer. Object numbers follow
// registration order: 1 catalog, 2 information, 3 page tree, then each page and its
// content stream as added, and last what fonts complete at save time.
#pragma once

#include "pdf/pdf_objects.h"

#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velmoro::pdf {

// The cross-reference table: owns every registered object; entry 0 is the free head.
class TPdfXref {
 public:
  struct TPdfXrefEntry {
    char kind = 'n';
    int64_t offset = -1;
    int32_t generation = 0;
    std::unique_ptr<TPdfObject> object;
  };

  TPdfXref();
  template <typename T>
  T& AddObject(std::unique_ptr<T> object) {
    T& ref = *object;
    Register(std::move(object));
    return ref;
  }
  size_t ItemCount() const { return entries_.size(); }
  TPdfXrefEntry& Item(size_t i) { return entries_[i]; }

 private:
  void Register(std::unique_ptr<TPdfObject> object);
  std::vector<TPdfXrefEntry> entries_;
};

// Paper codes of the default page size.
enum TPdfPaperSize : uint8_t { psA4 = 0, psA5 = 1, psA3 = 2, psLetter = 3, psLegal = 4, psUserDefined = 5 };

class TPdfFontTrueType;
class TPdfCanvas;
class TPdfImage;

class TPdfPage : public TPdfDictionary {
 public:
  TPdfStream* Contents = nullptr;  // the page's content stream (registered)
  // The text state of the page.
  TPdfFontTrueType* Font = nullptr;
  double FontSize = 0, WordSpace = 0, HorizontalScaling = 0;
};

class TPdfFont {
 public:
  virtual ~TPdfFont() = default;
  // Adds what the document needs of the font at save time (widths, descriptors …).
  virtual void Complete() {}
};

class TPdfDocument {
 public:
  // All callers pass (false, 0, false): no outlines, the default code page, not PDF/A.
  TPdfDocument(bool useOutlines = false, int codePage = 0, bool pdfA1 = false);
  ~TPdfDocument();
  TPdfDocument(const TPdfDocument&) = delete;
  TPdfDocument& operator=(const TPdfDocument&) = delete;

  void SetDefaultPaperSize(uint8_t code);
  uint8_t DefaultPaperSize() const { return paperSize_; }
  void SetDefaultPageWidth(int32_t points);
  void SetDefaultPageHeight(int32_t points);
  int32_t DefaultPageWidth() const { return width_; }
  int32_t DefaultPageHeight() const { return height_; }
  bool DefaultPageLandscape() const { return height_ < width_; }
  void SetDefaultPageLandscape(bool landscape);

  void SetTitle(std::u16string_view v) { SetInfo("Title", v); }
  void SetSubject(std::u16string_view v) { SetInfo("Subject", v); }
  void SetKeywords(std::u16string_view v) { SetInfo("Keywords", v); }
  void SetAuthor(std::u16string_view v) { SetInfo("Author", v); }
  void SetCreator(std::u16string_view v) { SetInfo("Creator", v); }

  TPdfPage& AddPage();
  TPdfPage* CurrentPage() const { return pages_.empty() ? nullptr : pages_.back(); }
  const std::vector<TPdfPage*>& Pages() const { return pages_; }

  // Writes the whole file; modification time 0 means now.
  std::string SaveToBytes(std::time_t modificationTime = 0);
  // Writes the file atomically; false on any failure, and then nothing is left behind.
  bool SaveToFile(const std::u16string& path);

  TPdfXref& Xref() { return xref_; }
  TPdfDictionary& Info() { return *info_; }
  TPdfDictionary& Catalog() { return *catalog_; }
  TPdfDictionary& Root() { return *root_; }
  bool Compression() const { return compression_; }
  int CodePage() const { return codePage_; }
  std::vector<std::unique_ptr<TPdfFont>>& Fonts() { return fonts_; }
  // Windows character set of the code page (0 for 1252).
  int CharSet() const { return charSet_; }
  // The installed TrueType families, in UTF-8.
  const std::vector<std::string>& TrueTypeFontNames() const { return trueTypeFontNames_; }
  // The drawing surface, bound to the last added page.
  TPdfCanvas& Canvas() { return *canvas_; }
  TPdfStream& NewStream();

  // Images: AddXObject names an image "SynImg" + its position and registers it;
  // FindImage gives an image already added that shows the same picture.
  TPdfImage& AddXObject(std::unique_ptr<TPdfImage> image);
  TPdfImage* FindImage(const TPdfImage& like) const;
  const std::vector<TPdfImage*>& XObjects() const { return xObjects_; }

  // Named destinations and the links to them. A link made before its destination gets
  // its /Dest when the destination is made.
  void AddBookmark(const std::string& name, TPdfPage& page, int32_t top);
  void AddLink(TPdfPage& page, double x1, double y1, double x2, double y2, const std::string& name);

  // The clock of CreationDate and ModDate; tests set a fixed one.
  static inline std::function<std::time_t()> Now = [] { return std::time(nullptr); };

 private:
  void SetInfo(std::string_view key, std::u16string_view value);

  TPdfXref xref_;
  std::unique_ptr<TPdfDictionary> trailer_ = std::make_unique<TPdfDictionary>();
  TPdfDictionary* catalog_ = nullptr;
  TPdfDictionary* info_ = nullptr;
  TPdfDictionary* root_ = nullptr;
  std::vector<TPdfPage*> pages_;
  std::vector<std::unique_ptr<TPdfFont>> fonts_;
  std::vector<std::string> trueTypeFontNames_;
  std::vector<TPdfImage*> xObjects_;
  std::map<std::string, TPdfArray*> bookmarks_;  // name -> its destination array
  std::multimap<std::string, TPdfDictionary*> pendingLinks_;
  std::unique_ptr<TPdfCanvas> canvas_;
  int charSet_ = 0;
  std::string header_ = "%PDF-1.3\n";
  int32_t width_ = 595, height_ = 842;
  uint8_t paperSize_ = psA4;
  bool compression_ = true;
  bool useOutlines_;
  bool pdfA1_;
  int codePage_;
};

}  // namespace velmoro::pdf
