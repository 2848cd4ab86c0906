// The two album files of the picture engine.
//
// Single-file album (".qla", read and written; integers little-endian):
//   0   "QLA", 0
//   4   u32 picture count
//   8   8 zero bytes
//   16  count entries, each a 16-byte head followed at once by the picture file's bytes:
//         0  u32 index of the picture in the album, from 0 (written, never read)
//         4  u32 size of the picture data
//         8  extension of the picture file without the dot, up to 3 bytes, zero-padded
//         11 5 zero bytes
//
// Frame-sequence album (".wza", read only):
//   0   "WZA"
//   4   u8 frame count
//   5   u16 big-endian offset of the first frame from the start of the file
//   from there the frames without gaps, each a 32-byte DVF head and a whole DV frame of
//   12 DIF sequences of 12,000 bytes (head byte 10 '6') or 10 (head byte 10 '5').
//
// Both readers trust nothing of the file: every size is checked against what the file
// holds, an entry's extension becomes part of a file name only when it is letters and
// digits, and albums stored inside an album are skipped. Pictures are always added at
// the album's current end, so an entry that cannot be read leaves no gap.
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "workspace/album_host.h"
#include "workspace/frmwait.h"
#include "workspace/image_ope.h"
#include "workspace/import_ahead.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace workspace {

namespace {

constexpr size_t kQlaHeader = 16;
constexpr size_t kEntryHead = 16;
constexpr size_t kWzaHeader = 7;  // the fields read; the rest of the 64-byte header is not
constexpr size_t kDvfHead = 32;
constexpr size_t kDifSequence = 12000;
constexpr size_t kDifHeaderBlock = 80;
// Picture data moves through one buffer of this size, whatever the album's size.
constexpr size_t kCopyPiece = size_t{1} << 20;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File openFile(const std::string& path, const char* mode) { return File(std::fopen(path.c_str(), mode), &std::fclose); }

// A work file made anew for writing: whatever had the name goes first, and the new file
// is created exclusively, never through a link put in its place.
File newWorkFile(const std::string& path) {
  ::unlink(path.c_str());
  const int fd = platform::createNewFile(path);
  std::FILE* f = fd < 0 ? nullptr : ::fdopen(fd, "wb");
  if (fd >= 0 && !f) ::close(fd);
  return File(f, &std::fclose);
}

bool readWhole(std::FILE* f, void* data, size_t n) { return std::fread(data, 1, n, f) == n; }
bool writeWhole(std::FILE* f, const void* data, size_t n) { return std::fwrite(data, 1, n, f) == n; }

// Bytes from the current position to the end of the file.
uint64_t bytesLeft(std::FILE* f) {
  struct stat st;
  const off_t at = ::ftello(f);
  if (::fstat(::fileno(f), &st) != 0 || at < 0 || st.st_size < at) return 0;
  return static_cast<uint64_t>(st.st_size - at);
}

uint32_t le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// An entry's extension: up to three ASCII letters or digits, then zero bytes. Anything
// else is no extension this program wrote, and never becomes part of a file name.
std::optional<std::string> entryExtension(const uint8_t* field) {
  std::string ext;
  size_t i = 0;
  for (; i < 3 && field[i] != 0; ++i) {
    if (field[i] > 0x7F || !std::isalnum(field[i])) return std::nullopt;
    ext.push_back(static_cast<char>(field[i]));
  }
  for (; i < 3; ++i) {
    if (field[i] != 0) return std::nullopt;
  }
  return ext;
}

bool isAlbumExtension(std::string ext) {
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "qla" || ext == "wza";
}

// Copies exactly `size` bytes from `in` to `out` through `buffer`, which grows to the
// piece needed (at most kCopyPiece bytes): small entries take no large buffer.
template <typename Write>
bool copyBytes(std::FILE* in, uint64_t size, std::vector<char>& buffer, Write&& write) {
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(size, kCopyPiece));
  if (buffer.size() < wanted) buffer.resize(wanted);
  while (size > 0) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(size, buffer.size()));
    if (!readWhole(in, buffer.data(), piece) || !write(buffer.data(), piece)) return false;
    size -= piece;
  }
  return true;
}

// Writes one entry: its head, then the file's bytes. False when the file cannot be read
// whole or is too large for the entry's 32-bit size.
bool writeEntry(platform::AtomicFileWriter& out, uint32_t index, const std::string& path,
                std::vector<char>& buffer) {
  File in = openFile(path, "rb");
  struct stat st;
  if (!in || ::fstat(::fileno(in.get()), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 0xFFFFFFFFll) {
    return false;
  }
  uint8_t head[kEntryHead] = {};
  putLe32(head, index);
  putLe32(head + 4, static_cast<uint32_t>(st.st_size));
  const std::string ext = FileName(path).GetExt().substr(0, 3);
  std::memcpy(head + 8, ext.data(), ext.size());
  return out.write(head, sizeof head) &&
         copyBytes(in.get(), static_cast<uint64_t>(st.st_size), buffer,
                   [&](const char* data, size_t n) { return out.write(data, n); });
}

}  // namespace

bool CImageOpe::SaveAlbum(const std::string& path, const std::vector<std::string>& files) {
  if (files.size() > 0xFFFFFFFFu) return false;
  platform::AtomicFileWriter out(path);
  if (!out.open()) return false;
  uint8_t header[kQlaHeader] = {'Q', 'L', 'A', 0};
  putLe32(header + 4, static_cast<uint32_t>(files.size()));
  bool ok = out.write(header, sizeof header);
  std::vector<char> buffer;
  for (size_t i = 0; ok && i < files.size(); ++i) ok = writeEntry(out, static_cast<uint32_t>(i), files[i], buffer);
  if (!ok || !out.commit()) {
    out.discard();
    return false;
  }
  if (album_) album_->ClearModified();
  WaitFileExists(path, clock_);
  return true;
}

// ---- reading ---------------------------------------------------------------------------

bool CImageOpe::ReadAborted() {
  if (platform::isGuiThread()) Wait(0, clock_);
  return frmWait && frmWait->AbortFlag != 0;
}

std::optional<bool> CImageOpe::PrepareAlbumRead() {
  if (AlbumCount() == 0) return false;
  if (AppendAlbumsQuietly) return true;
  platform::sendMessage(frmWait, platform::WM_WAIT_CLOSE);
  QWidget* owner = dynamic_cast<QWidget*>(album_->MainWindow());
  const std::string question = Lang ? Lang->GetMsg("MSG_ADDALBUM").toStdString() : std::string();
  if (platform::askYesNo(owner, question) && !album_->NewAlbum()) {
    // The user wanted the album saved first and it was not: the album stays as it was,
    // and the command that is adding files ends here.
    ErrorCode = kCancelled;
    if (frmWait) frmWait->AbortFlag = 1;
    return std::nullopt;
  }
  QString caption = QString::fromStdString(platform::applicationTitle());
  platform::sendMessage(frmWait, platform::WM_WAIT_SHOW, reinterpret_cast<platform::WPARAM>(&caption), 1);
  // Replacing the album leaves it as the file has it; adding to it changes it.
  return AlbumCount() != 0;
}

void CImageOpe::FinishAlbumRead(bool modified) {
  if (!album_) return;
  if (modified) {
    album_->SetModified();
  } else {
    album_->ClearModified();
  }
}

namespace {

// Entries indexed at a time: an album's pictures are decoded ahead within one batch, and
// a damaged count cannot make the index large.
constexpr uint32_t kIndexBatch = 256;

// Where an entry's picture lies in an album file. An entry cut short (its head or its
// bytes missing) ends the index and the read.
struct Entry {
  uint64_t offset = 0;
  uint32_t size = 0;
  std::optional<std::string> ext;
  bool cut = false;
};

// The next `count` entries from the current position on; the file is left behind the
// last of them.
std::vector<Entry> indexEntries(std::FILE* in, uint32_t count) {
  std::vector<Entry> entries;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t head[kEntryHead];
    Entry e;
    // An entry that runs past the end of the file ends the read: it and what follows
    // it are lost, and nothing of it is imported.
    if (!readWhole(in, head, sizeof head) || le32(head + 4) > bytesLeft(in)) {
      e.cut = true;
      entries.push_back(e);
      break;
    }
    e.offset = static_cast<uint64_t>(::ftello(in));
    e.size = le32(head + 4);
    e.ext = entryExtension(head + 8);
    entries.push_back(e);
    if (::fseeko(in, static_cast<off_t>(e.size), SEEK_CUR) != 0) {
      entries.push_back(Entry{0, 0, std::nullopt, true});
      break;
    }
  }
  return entries;
}

}  // namespace

bool CImageOpe::ImportQla(const std::string& path) {
  EntriesSkipped = 0;
  File in = openFile(path, "rb");
  uint8_t header[kQlaHeader];
  if (!in || !readWhole(in.get(), header, sizeof header) || std::memcmp(header, "QLA\0", 4) != 0) return false;
  const uint32_t count = le32(header + 4);
  const std::optional<bool> prepared = PrepareAlbumRead();
  if (!prepared) return false;
  const bool modified = *prepared;
  const auto tempName = [&](const Entry& e) { return workDir_ + "zbmt." + *e.ext; };
  const auto imported = [&](const Entry& e) { return !e.cut && e.ext && !isAlbumExtension(*e.ext); };
  std::vector<char> buffer;
  for (uint32_t done = 0; done < count;) {
    const std::vector<Entry> entries = indexEntries(in.get(), std::min(count - done, kIndexBatch));
    const off_t next = ::ftello(in.get());
    done += static_cast<uint32_t>(entries.size());
    std::vector<ImportAhead::Item> items;
    for (const Entry& e : entries) {
      const bool picture = imported(e) && ReadsAsPicture(tempName(e));
      items.push_back({picture ? tempName(e) : std::string(), path, e.offset, e.size, picture && e.size > 0});
    }
    ImportAhead ahead(*this, std::move(items));
    for (size_t i = 0; i < entries.size(); ++i) {
      const Entry& e = entries[i];
      if (AlbumCount() >= kAlbumLimit) {
        platform::sendMessage(frmWait, platform::WM_WAIT_CLOSE);
        if (album_) album_->ShowFrameOver();
        return true;
      }
      if (ReadAborted() || e.cut) return false;
      if (!imported(e)) {
        ++EntriesSkipped;
        continue;
      }
      const std::string temp = tempName(e);
      File out = newWorkFile(temp);  // made anew for each entry
      // A copy that cannot be written whole (a full disk) leaves nothing of itself.
      const bool copied = out && ::fseeko(in.get(), static_cast<off_t>(e.offset), SEEK_SET) == 0 &&
                          copyBytes(in.get(), e.size, buffer,
                                    [&](const char* data, size_t n) { return writeWhole(out.get(), data, n); });
      const bool closed = out && std::fclose(out.release()) == 0;
      if (!copied || !closed) {
        ::unlink(temp.c_str());
        return false;
      }
      if (ReadAborted()) return false;
      WaitFileExists(temp, clock_);
      // An entry that cannot be imported is skipped; the next goes to the same place.
      ahead.Begin(i);
      if (!LoadImage(temp, AlbumCount())) ++EntriesSkipped;
    }
    if (next < 0 || ::fseeko(in.get(), next, SEEK_SET) != 0) return false;
  }
  FinishAlbumRead(modified);
  return true;
}

bool CImageOpe::ImportWza(const std::string& path) {
  EntriesSkipped = 0;
  File in = openFile(path, "rb");
  uint8_t header[kWzaHeader];
  if (!in || !readWhole(in.get(), header, sizeof header) || std::memcmp(header, "WZA", 3) != 0) return false;
  const std::optional<bool> prepared = PrepareAlbumRead();
  if (!prepared) return false;
  const bool modified = *prepared;
  const uint32_t first = uint32_t{header[5]} << 8 | header[6];
  const uint32_t room = kAlbumLimit - std::min(AlbumCount(), kAlbumLimit);
  const uint32_t frames = std::min<uint32_t>(header[4], room);

  // Each frame becomes a DVF frame file in the work folder: its head, then each DIF
  // sequence without its first block.
  std::vector<std::string> extracted;
  bool whole = ::fseeko(in.get(), static_cast<off_t>(first), SEEK_SET) == 0;
  std::vector<uint8_t> frame(12 * kDifSequence);
  for (uint32_t i = 0; whole && i < frames; ++i) {
    whole = false;
    if (ReadAborted()) break;
    const std::string name = FileName(workDir_ + "zbmt0000.dvf").NextFreeName(i + 1);
    uint8_t head[kDvfHead];
    if (name.empty() || !readWhole(in.get(), head, sizeof head)) break;
    if (head[10] != '5' && head[10] != '6') break;
    const size_t sequences = head[10] == '6' ? 12 : 10;
    if (!readWhole(in.get(), frame.data(), sequences * kDifSequence)) break;
    File out = newWorkFile(name);
    bool written = out && writeWhole(out.get(), head, sizeof head);
    for (size_t s = 0; written && s < sequences; ++s) {
      written = writeWhole(out.get(), frame.data() + s * kDifSequence + kDifHeaderBlock,
                           kDifSequence - kDifHeaderBlock);
    }
    if (!out || std::fclose(out.release()) != 0 || !written) {
      ::unlink(name.c_str());
      break;
    }
    if (ReadAborted()) break;
    WaitFileExists(name, clock_);
    extracted.push_back(name);
    whole = true;
  }
  // The frames extracted are added, also when the extraction stopped early; Stop ends
  // the adding too.
  for (const std::string& name : extracted) {
    if (ReadAborted()) return false;
    if (!LoadImage(name, AlbumCount())) ++EntriesSkipped;
  }
  if (whole) FinishAlbumRead(modified);
  return whole;
}

}  // namespace workspace
