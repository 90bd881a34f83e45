#include "pdf/deflate.h"

#include "pdf/pdf_errors.h"

#include <zlib.h>

#include <new>

namespace velmoro::pdf {

std::string deflateBuffer(std::string_view data) {
  z_stream z{};
  if (deflateInit2(&z, 7, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&z, Z_FINISH);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw EPdfInvalidOperation("deflate failed with code " + std::to_string(rc));
  out.resize(z.total_out);
  return out;
}

}  // namespace velmoro::pdf
