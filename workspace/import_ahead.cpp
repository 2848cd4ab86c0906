#include "workspace/import_ahead.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "toolkit/effect/qm6effect.h"
#include "workspace/image_ope.h"

namespace workspace {

namespace {

std::atomic<int> g_threads{-1};
std::atomic<uint64_t> g_taken{0};

// Pieces in which a worker reads, looking at the stop flag in between.
constexpr size_t kReadPiece = size_t{1} << 20;

}  // namespace

void SetImportThreads(int threads) { g_threads = threads; }

unsigned ImportThreads() {
  const int set = g_threads;
  if (set >= 0) return static_cast<unsigned>(set);
  const unsigned hardware = std::thread::hardware_concurrency();
  return std::clamp(hardware > 1 ? hardware - 1 : 1u, 1u, 4u);
}

uint64_t ImportAhead::PicturesTaken() { return g_taken; }

std::vector<ImportAhead::Item> ImportAhead::ForFiles(const std::vector<std::string>& paths) {
  std::vector<Item> items;
  items.reserve(paths.size());
  for (const std::string& p : paths) items.push_back(Item{p, p, 0, 0, CImageOpe::ReadsAsPicture(p)});
  return items;
}

ImportAhead::ImportAhead(CImageOpe& engine, std::vector<Item> items)
    : engine_(engine), outer_(engine.ahead_), items_(std::move(items)), slots_(items_.size()) {
  const unsigned threads = ImportThreads();
  size_t toDecode = 0;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (threads > 0 && items_[i].decode) {
      slots_[i].state = State::Waiting;
      ++toDecode;
    }
  }
  if (toDecode > 0) {
    window_ = kWindowPerThread * threads;
    const size_t n = std::min<size_t>(threads, toDecode);
    try {
      workers_.reserve(n);
      while (workers_.size() < n) workers_.emplace_back([this] { work(); });
    } catch (const std::exception&) {
      // Fewer workers, or none: whatever no worker decodes, the engine reads itself.
    }
  }
  engine_.ahead_ = this;
}

ImportAhead::~ImportAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  workers_.clear();  // joined; a decoding under way ends at its next row
  for (Slot& slot : slots_) ImageFree(slot.picture);
  engine_.ahead_ = outer_;
}

ImportAhead::Stamp ImportAhead::stampOf(const struct ::stat& st) {
  return Stamp{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), static_cast<uint64_t>(st.st_size),
               static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void ImportAhead::giveUp(Slot& slot) {
  if (slot.state == State::Done) {
    ImageFree(slot.picture);
    slot.picture = 0;
    --held_;
    heldBytes_ -= slot.bytes;
  }
  // A slot being decoded is let go by its worker.
  slot.state = State::Gone;
}

void ImportAhead::Begin(size_t index) {
  {
    std::lock_guard lock(mutex_);
    const size_t from = current_ == SIZE_MAX ? 0 : current_;
    for (size_t i = from; i < index && i < slots_.size(); ++i) giveUp(slots_[i]);
    current_ = index;
  }
  changed_.notify_all();
}

QmHandle ImportAhead::Take(const std::string& path, Extent& full, unsigned& reduction) {
  std::unique_lock lock(mutex_);
  if (current_ >= slots_.size() || items_[current_].path != path) return 0;
  Slot& slot = slots_[current_];
  // One no worker has begun is read by the engine at once.
  if (slot.state == State::Waiting) slot.state = State::Gone;
  changed_.wait(lock, [&] { return slot.state != State::Decoding; });
  if (slot.state != State::Done) return 0;
  const Slot taken = slot;
  slot.picture = 0;
  slot.state = State::Gone;
  --held_;
  heldBytes_ -= taken.bytes;
  const QmHandle picture = taken.picture;
  const std::string source = items_[current_].source;
  lock.unlock();
  changed_.notify_all();

  // A file changed since its bytes were read gets a reading of its own.
  struct stat st;
  if (::stat(source.c_str(), &st) != 0 || stampOf(st) != taken.stamp) {
    ImageFree(picture);
    return 0;
  }
  full = taken.full;
  reduction = taken.reduction;
  ++g_taken;
  return picture;
}

void ImportAhead::work() {
  pthread_setname_np(pthread_self(), kWorkerName);
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] {
      while (next_ < slots_.size() && slots_[next_].state != State::Waiting) ++next_;
      return stop_ || next_ >= slots_.size() ||
             (held_ < window_ && (held_ == 0 || heldBytes_ + inFlight_ < kHeldBytes));
    });
    if (stop_ || next_ >= slots_.size()) return;
    const size_t i = next_++;
    slots_[i].state = State::Decoding;
    ++held_;
    lock.unlock();
    Slot made;
    uint64_t reserved = 0;
    const QmHandle picture = decode(i, made, reserved);
    lock.lock();
    inFlight_ -= reserved;
    Slot& slot = slots_[i];
    if (slot.state == State::Decoding && picture && !stop_) {
      made.state = State::Done;
      made.picture = picture;
      made.bytes = QmGlobalSize(picture);
      heldBytes_ += made.bytes;
      slot = made;
    } else {
      ImageFree(picture);
      slot.state = State::Gone;
      --held_;
    }
    changed_.notify_all();
  }
}

bool ImportAhead::reserve(size_t index, uint64_t bytes, uint64_t& reserved) {
  std::unique_lock lock(mutex_);
  if (reserved + bytes > kHeldBytes) return false;
  for (;;) {
    if (stop_ || slots_[index].state != State::Decoding) return false;
    if (heldBytes_ + inFlight_ + bytes <= kHeldBytes) break;
    // The engine waits for the item it has begun: rather than keep it waiting too, the
    // engine reads the picture itself.
    if (current_ != SIZE_MAX && current_ >= index) return false;
    changed_.wait(lock);
  }
  inFlight_ += bytes;
  reserved += bytes;
  return true;
}

QmHandle ImportAhead::decode(size_t index, Slot& into, uint64_t& reserved) {
  const Item& item = items_[index];
  const int fd = ::open(item.source.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  into.stamp = stampOf(st);
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (item.offset > size) return 0;
  const uint64_t length = item.length ? item.length : size - item.offset;
  if (length < 2 || length > kLargestItem || length > size - item.offset) return 0;
  // Only a JPEG is read further.
  uint8_t soi[2];
  if (::pread(fd, soi, 2, static_cast<off_t>(item.offset)) != 2 || soi[0] != 0xFF || soi[1] != 0xD8) return 0;
  if (!reserve(index, length, reserved)) return 0;
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(length));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  for (uint64_t done = 0; done < length;) {
    if (stop_) return 0;
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(length - done, kReadPiece));
    const ssize_t n = ::pread(fd, bytes.data() + done, piece, static_cast<off_t>(item.offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    done += static_cast<uint64_t>(n);
  }
  return ReadReducedBlock(bytes.data(), bytes.size(), CImageOpe::ThumbnailExtent, CImageOpe::kThumbnailMargin,
                          into.full, into.reduction, &stop_,
                          [&](uint64_t need) { return reserve(index, need, reserved); });
}

}  // namespace workspace
