// Imports of many pictures at once (a list of files, an album file): while the GUI
// thread stores one picture after the other as it always does (working copy, thumbnail,
// record, cell, progress), a few worker threads decode the reduced pictures of the JPEG
// files that come next, in album order, so that a thumbnail's decoding is mostly done
// when its picture's turn comes. The workers do nothing but read a file's bytes into a
// buffer of their own and decode them (ReadReducedBlock); everything else, and every
// file written, stays on the GUI thread.
//
// A picture whose decoding failed, is not finished or has not begun is read by the
// engine itself as without the look-ahead, so the album comes out the same either way.
// Ending the look-ahead (at the end of the import, a stop, the album's limit) cancels
// the decodings under way, joins the workers and frees every picture not taken.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "toolkit/com/qm6com.h"
#include "workspace/reduced_read.h"

struct stat;

namespace workspace {

class CImageOpe;

// The worker threads of an import: by default min(4, hardware threads - 1), at least 1.
// 0 turns the look-ahead off (every picture decoded as it is stored); a negative count
// restores the default. For benchmarks and tests, not a user setting.
void SetImportThreads(int threads);
unsigned ImportThreads();

class ImportAhead {
 public:
  // One file of the import, in album order.
  struct Item {
    std::string path;     // the file the engine is asked to import
    std::string source;   // the file holding its bytes: the path itself or an album file
    uint64_t offset = 0;  // where the bytes lie in the source
    uint64_t length = 0;  // how many; 0 for the whole source
    bool decode = false;  // the engine reads the file as a picture (no album or capture file)
  };
  // The items of a list of files imported by LoadImage.
  static std::vector<Item> ForFiles(const std::vector<std::string>& paths);

  // Starts the workers (none when no item is to be decoded or the look-ahead is off) and
  // lends itself to the engine until it ends.
  ImportAhead(CImageOpe& engine, std::vector<Item> items);
  ~ImportAhead();
  ImportAhead(const ImportAhead&) = delete;
  ImportAhead& operator=(const ImportAhead&) = delete;

  // The import of item `index` begins; the items before it are given up.
  void Begin(size_t index);

  // For the engine: the reduced picture made ahead of `path` when it is the item begun and
  // its source file is unchanged since it was read, waiting for a decoding under way; 0
  // otherwise. Full size and reduction as ReadReduced gives them.
  QmHandle Take(const std::string& path, Extent& full, unsigned& reduction);

  // The pictures made ahead that engines have taken in this process (for benchmarks and
  // tests: how much of an import the look-ahead did).
  static uint64_t PicturesTaken();

  // The name of the worker threads, as the system lists them.
  static constexpr const char* kWorkerName = "import ahead";

  // Pictures held at most, decoded or being decoded (the look-ahead), and the memory the
  // look-ahead takes at most: the decoded pictures it holds, and for each decoding under
  // way its file's bytes and what the decoding takes (the picture, and the JPEG library's
  // coefficients of a progressive file). A decoding waits until its memory fits, and one
  // that would take more than all of it is left to the engine.
  static constexpr size_t kWindowPerThread = 2;
  static constexpr uint64_t kHeldBytes = uint64_t{128} << 20;
  // Larger files are left to the engine (each worker holds the bytes of the one it decodes).
  static constexpr uint64_t kLargestItem = uint64_t{64} << 20;

 private:
  // Gone: taken, given up, failed, or nothing to decode.
  enum class State { Waiting, Decoding, Done, Gone };
  struct Stamp {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modified = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct Slot {
    State state = State::Gone;
    QmHandle picture = 0;
    uint64_t bytes = 0;
    Extent full;
    unsigned reduction = 1;
    Stamp stamp;
  };

  static Stamp stampOf(const struct ::stat& st);
  void work();
  // Reads and decodes item `index` on a worker thread; `reserved` is the memory counted
  // for it meanwhile.
  QmHandle decode(size_t index, Slot& into, uint64_t& reserved);
  // Counts `bytes` more for the decoding of item `index`, waiting until they fit; false
  // (nothing counted) when they never can, or when the item is given up, begun by the
  // engine (which then reads it itself) or the look-ahead ends first.
  bool reserve(size_t index, uint64_t bytes, uint64_t& reserved);
  // Gives a slot up; under the lock.
  void giveUp(Slot& slot);

  CImageOpe& engine_;
  ImportAhead* outer_;
  std::vector<Item> items_;
  std::vector<Slot> slots_;
  size_t window_ = 0;
  size_t current_ = SIZE_MAX;  // the item begun
  size_t next_ = 0;            // no item before it waits for a worker
  size_t held_ = 0;            // pictures decoding or decoded and not taken
  uint64_t heldBytes_ = 0;     // of the decoded pictures
  uint64_t inFlight_ = 0;      // counted for the decodings under way
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::jthread> workers_;
};

}  // namespace workspace
