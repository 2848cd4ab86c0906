// The module's adaptations of the JPEG library: an error manager that unwinds to the
// calling worker, a data source over a file or a memory block, and the marker
// processors for comment and APP1 segments.
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "jpegmodule/codec.h"

namespace qmjpeg {

namespace {

void errorExit(j_common_ptr cinfo) {
  auto* guard = static_cast<ErrorGuard*>(cinfo->client_data);
  jpeg_destroy(cinfo);
  std::longjmp(guard->jump, 1);
}

// Messages are never formatted or shown: only the status code reaches the caller.
void emitMessage(j_common_ptr, int) {}
void outputMessage(j_common_ptr) {}
void formatMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }
void resetErrorManager(j_common_ptr cinfo) {
  cinfo->err->num_warnings = 0;
  cinfo->err->msg_code = 0;
}

// ---- data source ----

void initSource(j_decompress_ptr cinfo) { static_cast<Source*>(cinfo->src)->startOfFile = true; }

boolean fillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = static_cast<Source*>(cinfo->src);
  size_t n = 0;
  if (src->file && !src->fileEnded) {
    n = std::fread(src->buffer, 1, sizeof src->buffer, src->file);
    if (n == 0 && src->startOfFile) {
      cinfo->err->msg_code = JERR_INPUT_EMPTY;
      cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
    }
    src->fileEnded = n == 0;  // past the end only end markers follow, without reading
  } else if (src->position < src->blockLength) {
    n = std::min(sizeof src->buffer, src->blockLength - src->position);
    std::memcpy(src->buffer, src->block + src->position, n);
    src->position += n;
  }
  if (n == 0) {
    // The data ended early: finish with an end-of-image marker.
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->startOfFile = false;
  src->next_input_byte = src->buffer;
  src->bytes_in_buffer = n;
  return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  size_t n = static_cast<size_t>(count);
  while (n > src->bytes_in_buffer) {
    n -= src->bytes_in_buffer;
    fillInputBuffer(cinfo);
  }
  src->next_input_byte += n;
  src->bytes_in_buffer -= n;
}

void termSource(j_decompress_ptr) {}

}  // namespace

uint64_t Source::unread() const {
  uint64_t rest = 0;
  if (block) {
    rest = blockLength - position;
  } else if (file && !fileEnded) {
    struct stat st;
    const off_t at = ::ftello(file);
    if (::fstat(::fileno(file), &st) == 0 && at >= 0 && st.st_size > at) rest = static_cast<uint64_t>(st.st_size - at);
  }
  return rest + bytes_in_buffer;
}

namespace {

// ---- segment reads for the marker processors ----

Decoder& decoderOf(j_decompress_ptr cinfo) {
  return *static_cast<Decoder*>(static_cast<ErrorGuard*>(cinfo->client_data)->owner);
}

void readBytes(j_decompress_ptr cinfo, uint8_t* out, size_t n) {
  jpeg_source_mgr* src = cinfo->src;
  while (n > 0) {
    if (src->bytes_in_buffer == 0) fillInputBuffer(cinfo);
    size_t take = std::min(n, src->bytes_in_buffer);
    std::memcpy(out, src->next_input_byte, take);
    src->next_input_byte += take;
    src->bytes_in_buffer -= take;
    out += take;
    n -= take;
  }
}

// The bytes a variable-length segment holds after its 2-byte length; a length below 2
// holds none.
size_t readSegmentLength(j_decompress_ptr cinfo) {
  uint8_t b[2];
  readBytes(cinfo, b, 2);
  unsigned length = static_cast<unsigned>(b[0]) << 8 | b[1];
  return length >= 2 ? length - 2 : 0;
}

boolean readComment(j_decompress_ptr cinfo) {
  Decoder& d = decoderOf(cinfo);
  size_t length = readSegmentLength(cinfo);
  size_t keep = std::min(length, sizeof d.comment - 1);
  readBytes(cinfo, reinterpret_cast<uint8_t*>(d.comment), keep);
  d.comment[keep] = '\0';
  skipInputData(cinfo, static_cast<long>(length - keep));
  return TRUE;
}

void parseExif(Decoder& d) noexcept {
  try {
    readExifTiff(d.segment.data(), d.segment.size(), d.exif.values, d.exif.thumbnail);
  } catch (const std::bad_alloc&) {
    // What was read before stays; the thumbnail is dropped.
    d.exif.thumbnail.clear();
  }
  d.exif.parsed = true;
}

bool reserveSegment(Decoder& d, size_t n) noexcept {
  try {
    d.segment.resize(n);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

boolean readApp1(j_decompress_ptr cinfo) {
  Decoder& d = decoderOf(cinfo);
  size_t length = readSegmentLength(cinfo);
  char id[7] = {};
  size_t idLength = std::min<size_t>(length, 6);
  readBytes(cinfo, reinterpret_cast<uint8_t*>(id), idLength);
  size_t rest = length - idLength;
  bool exif = strcasecmp(id, "Exif") == 0;
  if (exif) d.exif.seen = true;
  // Only the first Exif segment of a file is parsed.
  if (exif && d.exif.wanted && !d.exif.parsed && rest > 0 && reserveSegment(d, rest)) {
    readBytes(cinfo, d.segment.data(), rest);
    parseExif(d);
  } else {
    skipInputData(cinfo, static_cast<long>(rest));
  }
  return TRUE;
}

}  // namespace

jpeg_error_mgr* initErrorManager(jpeg_error_mgr* err) {
  jpeg_std_error(err);
  err->error_exit = errorExit;
  err->emit_message = emitMessage;
  err->output_message = outputMessage;
  err->format_message = formatMessage;
  err->reset_error_mgr = resetErrorManager;
  err->trace_level = 0;
  err->num_warnings = 0;
  err->msg_code = 0;
  err->jpeg_message_table = nullptr;
  err->last_jpeg_message = 0;
  return err;
}

bool runGuarded(ErrorGuard& guard, void (*body)(void*), void* arg) {
  if (setjmp(guard.jump) != 0) return false;
  body(arg);
  return true;
}

void abortWork(j_common_ptr cinfo) {
  cinfo->err->msg_code = 0;
  cinfo->err->error_exit(cinfo);
  __builtin_unreachable();
}

void Decoder::create(FILE* file, const uint8_t* block, size_t blockLength) {
  cinfo.err = initErrorManager(&err);
  cinfo.client_data = &guard;
  jpeg_create_decompress(&cinfo);
  source.init_source = initSource;
  source.fill_input_buffer = fillInputBuffer;
  source.skip_input_data = skipInputData;
  source.resync_to_restart = jpeg_resync_to_restart;
  source.term_source = termSource;
  source.bytes_in_buffer = 0;
  source.next_input_byte = nullptr;
  source.file = file;
  source.block = file ? nullptr : block;
  source.blockLength = file ? 0 : blockLength;
  source.position = 0;
  source.startOfFile = true;
  source.fileEnded = false;
  cinfo.src = &source;
  jpeg_set_marker_processor(&cinfo, JPEG_COM, readComment);
  jpeg_set_marker_processor(&cinfo, JPEG_APP0 + 1, readApp1);
}

bool Decoder::accepted() const {
  switch (cinfo.num_components) {
    case 1: return cinfo.jpeg_color_space == JCS_GRAYSCALE;
    case 3: return cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB;
    case 4: return cinfo.jpeg_color_space == JCS_YCCK;
    default: return false;
  }
}

}  // namespace qmjpeg
