// TPdfWrite: the serializer of a PDF file. It appends bytes to an output buffer, knows
// its output position (the offsets of the cross-reference table come from it) and
// writes the value formats of the file:
//   integers       decimal, "-" before negatives
//   real format A  coordinates and sizes: two decimals, trailing zeros trimmed, below
//                  0.01 in magnitude "0", always followed by one space
//   real format B  as A without the 0.01 rule and without the space
//   real format C  six decimals and a space (image matrices)
//   names          "/" and the bytes; delimiters, "#", blanks, control and non-ASCII
//                  bytes as "#" and two hex digits
//   literal string "(" bytes ")", with ( ) \ escaped, \b \t \n \f, CR dropped
//   text string    a literal when every character is one where PDFDocEncoding and
//                  Windows-1252 agree, else "<FEFF" and UTF-16 big-endian in hex ">"
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace velmoro::pdf {

class TPdfWrite {
 public:
  TPdfWrite() : out_(&own_) {}
  // Appends to target instead (a content stream); target must outlive the writer.
  explicit TPdfWrite(std::string& target) : out_(&target) {}
  TPdfWrite(const TPdfWrite&) = delete;
  TPdfWrite& operator=(const TPdfWrite&) = delete;

  TPdfWrite& Add(std::string_view bytes) {
    out_->append(bytes);
    return *this;
  }
  TPdfWrite& Add(char c) {
    out_->push_back(c);
    return *this;
  }
  TPdfWrite& AddInteger(int64_t v);
  TPdfWrite& AddRealA(double v);   // with the trailing space
  TPdfWrite& AddRealB(double v);
  TPdfWrite& AddRealC(double v);   // with the trailing space
  TPdfWrite& AddName(std::string_view name);
  TPdfWrite& AddLiteral(std::string_view bytes);
  TPdfWrite& AddTextString(std::u16string_view text);
  TPdfWrite& AddHex(std::string_view bytes);  // uppercase digits, no brackets
  TPdfWrite& AddColor(uint32_t colorref);     // COLORREF 0x00BBGGRR as three format-A values

  size_t Position() const { return out_->size(); }
  std::string& Buffer() { return *out_; }

 private:
  std::string own_;
  std::string* out_;
};

std::string formatRealA(double v);  // without the trailing space
std::string formatRealB(double v);
std::string formatDate(std::time_t t);  // "D:YYYYMMDDHHMMSS", local time

// The Windows-1252 byte for a character, when it has one (and 0 otherwise with ok false).
uint8_t toWinAnsi(char16_t c, bool& ok);

}  // namespace velmoro::pdf
