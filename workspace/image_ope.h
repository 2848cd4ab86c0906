// The picture engine. An engine is bound to one window and turns picture files into the
// album's form of a picture: a working copy and a 100 x 75 thumbnail in the work folder,
// plus the facts the album record needs, which the bound window reads from the engine
// when WM_IMAGE_INFO arrives. The same engine writes pictures for the world outside the
// album (export, conversion to BMP, title picture files). All pixel work goes through
// the imaging toolkit; DV and YUV0 frames through the capture file readers.
//
// GUI thread only. WM_IMAGE_INFO is sent, so the receiver has read the facts before the
// import returns.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "toolkit/com/qm6com.h"
#include "toolkit/file/qm6file.h"
#include "workspace/capture_files.h"
#include "workspace/file_name.h"
#include "workspace/output_format.h"
#include "workspace/reduced_read.h"

namespace platform {
class MessageReceiver;
}

namespace workspace {

class AlbumHost;
class ImportAhead;

// What the title-picture command hands the engine for the title pictures it writes.
struct TitleRecord {
  char text1[255] = {};   // the Exif ImageDescription
  char text2[255] = {};   // Make
  char text3[255] = {};   // Model
  uint8_t makerNote = 0;  // 1: the file carries the maker note with the title number
  uint8_t titleNumber = 0;
};

class CImageOpe {
 public:
  // Error codes of the last failure.
  enum Error : int32_t {
    kNoError = 0,
    kMissing = 1,       // the file does not exist
    kUnreadable = 2,    // the file or its picture cannot be read, a GIF, or a kind not taken
    kNoSpace = 3,       // not enough free space where the work folder lies
    kSaveFailed = 5,    // scaling or saving a picture failed
    kNoName = 6,        // no free working name below 1000
    kExportFailed = 7,  // writing an export failed
    kThumbnailFailed = 8,
    kAlbumFull = 9,     // the main window's album holds 200 pictures
    kCancelled = 10,    // the user ended the command (an album kept because its save failed)
  };
  static constexpr uint16_t kNoTitle = 0xFF00;
  static constexpr uint16_t kTypeDv = 257;
  static constexpr uint16_t kTypeYuv = 273;
  static constexpr uint32_t kAlbumLimit = 200;
  static constexpr uint64_t kDvFreeBytes = 1471116;
  static constexpr int32_t kThumbnailWidth = 100;  // the box of the album's thumbnails
  static constexpr int32_t kThumbnailHeight = 75;
  // A JPEG's thumbnail is made from a decoding reduced as far as leaves it this many
  // times the thumbnail's size.
  static constexpr int32_t kThumbnailMargin = 2;
  // The size of the thumbnail of a picture of `full` size.
  static Extent ThumbnailExtent(Extent full);

  // Bound to `window` (the receiver of WM_IMAGE_INFO); `album` is the main window's album,
  // none when there is none (yet). Exports read `settings`.
  CImageOpe(platform::MessageReceiver* window, AlbumHost* album,
            OutputFormatSettings& settings = OutputFormat(),
            platform::Clock& clock = platform::SystemClock::instance());
  ~CImageOpe();
  CImageOpe(const CImageOpe&) = delete;
  CImageOpe& operator=(const CImageOpe&) = delete;

  // ---- Import ------------------------------------------------------------------------
  // How many pictures the file holds: an album's count, 1 for a picture or capture file
  // the engine takes, 0 otherwise.
  uint32_t GetImageCount(const std::string& path);
  // Imports the file by its extension for album position (or sheet cell) `position`;
  // true when a picture was added.
  bool LoadImage(const std::string& path, uint32_t position);
  // Whether LoadImage reads the file as one picture (by ImportFile or ImportTitle), not
  // as an album or a capture file.
  static bool ReadsAsPicture(const std::string& path);
  bool ImportFile(const std::string& path);
  bool ImportDvf(const std::string& path);
  bool ImportYuv(const std::string& path);
  // A title picture file: its title number into TitleNumber (kNoTitle when it has none),
  // then imported as a JPEG picture; true when the picture was added.
  bool ImportTitle(const std::string& path);
  // WorkDir + "zbm1" + the first number from `start` up (three digits or more, below
  // 1000) whose thumbnail name is free; "" when there is none.
  std::string MakeTempName(uint32_t start) const;
  // The picture scaled to fit maxW x maxH (the thumbnail rule) and saved as JPEG (quality
  // 50) when the target ends in ".jpg" in any case, else as BMP.
  bool SaveImage(const std::string& target, QmHandle picture, int32_t maxW, int32_t maxH);
  // A new picture: the picture at exactly w x h.
  bool Resize(QmHandle picture, int32_t w, int32_t h, QmHandle& result);

  // ---- Export and conversion ---------------------------------------------------------
  // Writes a working copy to `target` at the output settings' size, rotation and format.
  bool ExportImage(const std::string& source, const std::string& target);
  // Writes a full-size 24-bit BMP of any album picture; DV frames decode with `filterMode`.
  bool ConvertToBmp(const std::string& source, const std::string& target, uint32_t filterMode);
  // A scaled copy (SaveImage's rule) of any album picture.
  bool ConvertImage(const std::string& target, const std::string& source, int32_t maxW, int32_t maxH);
  // New pictures: scaled to fit W x H and centred on a W x H canvas of the colour
  // (0x00BBGGRR); 720 x 540 for the wide format; turned a quarter (1 clockwise, 2
  // counter-clockwise). False only when the picture cannot be read or memory is short.
  bool Letterbox(QmHandle picture, int32_t W, int32_t H, uint32_t colour, QmHandle& result);
  bool Fit720x540(QmHandle picture, uint32_t colour, QmHandle& result);
  bool Rotate(QmHandle picture, int32_t rotation, QmHandle& result);
  // Deletes the work-folder files matching a pattern such as WorkDir + "zbm*.*" ('*' and
  // '?', letters in any case); false when none matches.
  bool DeleteFiles(const std::string& pattern);

  // ---- Title picture files -------------------------------------------------------------
  // Writes a title picture file: the Exif segment with a 160 x 120 thumbnail, then the
  // picture. The target is replaced only when the new file was written whole.
  bool SaveDcfJpeg(const std::string& target, QmHandle picture, int32_t quality, const TitleRecord* record);

  // ---- Album files (album_files.cpp) -----------------------------------------------------
  // Writes the files, in order, as one album file: a 16-byte header, then each file
  // behind a 16-byte entry head. The target is replaced only when the whole album was
  // written; on success the album counts as saved (no longer modified).
  bool SaveAlbum(const std::string& path, const std::vector<std::string>& files);
  // Read an album file (".qla") or a frame-sequence album (".wza") and add its pictures
  // at the end of the album, each through LoadImage. Into an album that holds pictures
  // the user is asked first whether to replace the album. True when the file was read
  // to its end (or to the album's limit); the pictures read before a failure stay.
  bool ImportQla(const std::string& path);
  bool ImportWza(const std::string& path);
  // While set, albums read into an album that holds pictures are added to it without
  // the question (a paste adds to the album, it never replaces it).
  bool AppendAlbumsQuietly = false;
  // The pictures of the last album read that were skipped: entries that could not be
  // imported or that are no picture of an album.
  uint32_t EntriesSkipped = 0;

  // ---- The facts of the last import (read on WM_IMAGE_INFO) -----------------------------
  int32_t ErrorCode = kNoError;
  uint16_t Width = 0;
  uint16_t Height = 0;
  uint16_t PictureType = 0;
  uint16_t TitleNumber = kNoTitle;
  std::string WorkingPath;
  std::string Extension;
  std::string ThumbnailPath;
  FileTime SourceWriteTime = 0;
  uint32_t SourceSize = 0;  // low 32 bits
  char TimeCode[16] = {};
  uint32_t FillColor = 0;             // canvas colour of letterboxed output, 0x00BBGGRR
  const TitleRecord* Title = nullptr;  // set by the title-picture export
  uint32_t Position = 0;

  const std::string& WorkDir() const { return workDir_; }
  platform::MessageReceiver* Window() const { return window_; }

 private:
  bool AlbumFull();
  uint32_t AlbumCount() const;
  void Report();
  bool ImportCapture(const std::string& path, bool dv);
  // Loads a picture of any album kind: capture files through a temporary BMP.
  QmHandle LoadAny(const std::string& source, uint32_t filterMode);
  bool SaveTitleFile(const std::string& target, QmHandle picture, int32_t quality, const TitleRecord* record);
  bool StretchYuv(const std::string& bmp);
  // The steps shared by both album readers after the header: the question whether to
  // replace an album that holds pictures. Gives the modified flag the read leaves, or
  // nothing when the album could not be replaced and the read must not go on.
  std::optional<bool> PrepareAlbumRead();
  void FinishAlbumRead(bool modified);
  bool ReadAborted();

  friend class ImportAhead;
  ImportAhead* ahead_ = nullptr;  // the look-ahead of the import under way, if any
  platform::MessageReceiver* window_;
  AlbumHost* album_;
  OutputFormatSettings& settings_;
  platform::Clock& clock_;
  std::string workDir_;
  DV_FILE dvFile_;
  YUV_FILE yuvFile_;
};

}  // namespace workspace
