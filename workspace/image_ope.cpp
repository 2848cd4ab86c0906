#include "image_ope.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/atomic_file.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "toolkit/effect/qm6effect.h"
#include "workspace/album_host.h"
#include "workspace/dcf_data.h"
#include "workspace/import_ahead.h"
#include "workspace/reduced_read.h"

namespace workspace {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string extensionOf(const std::string& path) { return lower(FileName(path).GetExt()); }

// Gives the file the owner's write permission (the "normal attributes" of a work file).
// A link is left as it is: what it names is none of the program's business.
void makeNormal(const std::string& path) { MakeReplaceable(path); }

// A picture released when it goes out of scope, unless taken.
class Picture {
 public:
  explicit Picture(QmHandle h = 0) : h_(h) {}
  ~Picture() { ImageFree(h_); }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  QmHandle get() const { return h_; }
  explicit operator bool() const { return h_ != 0; }
  void reset(QmHandle h) {
    ImageFree(h_);
    h_ = h;
  }
  QmHandle release() {
    QmHandle h = h_;
    h_ = 0;
    return h;
  }

 private:
  QmHandle h_;
};

struct Size {
  int32_t w = 0, h = 0;
};

bool sizeOf(QmHandle picture, Size& s) {
  ImageKindRecord info;
  if (!ImageInfo(picture, &info) || info.width < 1 || info.height < 1) return false;
  s = Size{info.width, info.height};
  return true;
}

// Case-insensitive match of '*' and '?' patterns; a pattern ending in ".*" also matches
// names without a dot, as "zbm*.*" takes every name beginning with "zbm".
bool matches(const char* pattern, const char* name) {
  for (; *pattern; ++pattern, ++name) {
    if (*pattern == '*') {
      for (const char* rest = name;; ++rest) {
        if (matches(pattern + 1, rest)) return true;
        if (!*rest) return false;
      }
    }
    if (std::strcmp(pattern, ".*") == 0 && !*name) return true;
    if (!*name) return false;
    if (*pattern != '?' && std::tolower(static_cast<unsigned char>(*pattern)) !=
                               std::tolower(static_cast<unsigned char>(*name))) {
      return false;
    }
  }
  return !*name;
}

}  // namespace

CImageOpe::CImageOpe(platform::MessageReceiver* window, AlbumHost* album, OutputFormatSettings& settings,
                     platform::Clock& clock)
    : window_(window), album_(album), settings_(settings), clock_(clock), workDir_(platform::workDir()) {}

CImageOpe::~CImageOpe() { ::unlink((workDir_ + "tmp.bmp").c_str()); }

// ---- helpers ---------------------------------------------------------------------------

uint32_t CImageOpe::AlbumCount() const { return album_ ? album_->PictureCount() : 0; }

bool CImageOpe::AlbumFull() {
  if (!album_ || album_->MainWindow() != window_ || album_->PictureCount() < kAlbumLimit) return false;
  album_->ShowFrameOver();
  ErrorCode = kAlbumFull;
  return true;
}

void CImageOpe::Report() {
  if (album_) album_->SetModified();
  platform::sendMessage(window_, platform::WM_IMAGE_INFO, static_cast<platform::WPARAM>(Position), 0);
}

namespace {

// Deletes a work file and waits until it is gone; true when there is none afterwards.
bool removeFile(const std::string& path, platform::Clock& clock) {
  makeNormal(path);
  ::unlink(path.c_str());
  return WaitFileGone(path, clock);
}

// Copies a file byte for byte into a work file made anew; a failed copy leaves no
// target. Whatever had the name goes first; the copy creates its file exclusively, so a
// link put in its place meanwhile makes it fail rather than be written through.
bool copyFile(const std::string& from, const std::string& to) {
  ::unlink(to.c_str());
  std::error_code ec;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::none, ec);
  if (ec && ec != std::errc::file_exists) ::unlink(to.c_str());
  return !ec;
}

void letPendingEventsRun() {
  if (platform::isGuiThread()) Wait(0);
}

}  // namespace

// ---- import ----------------------------------------------------------------------------

uint32_t CImageOpe::GetImageCount(const std::string& path) {
  FileName name(path);
  if (!name.Exists()) return 0;
  const std::string ext = extensionOf(path);
  if (ext == "qla" || ext == "wza") {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) return 0;
    uint8_t head[64] = {};
    const size_t n = std::fread(head, 1, sizeof head, f.get());
    if (ext == "qla") {
      if (n < 16 || std::memcmp(head, "QLA\0", 4) != 0) return 0;
      return static_cast<uint32_t>(head[4] | (head[5] << 8) | (head[6] << 16)) | (static_cast<uint32_t>(head[7]) << 24);
    }
    return n >= 5 && std::memcmp(head, "WZA", 3) == 0 ? head[4] : 0;
  }
  if (ext == "dvf" || ext == "yuv") return 1;
  ImageFileInfoRecord info;
  return ImageFileInfo(path.c_str(), &info) ? 1 : 0;
}

bool CImageOpe::LoadImage(const std::string& path, uint32_t position) {
  TitleNumber = kNoTitle;
  ErrorCode = kNoError;
  Position = position;
  // The time code belongs to DV frames alone; no other picture keeps an older one.
  std::memset(TimeCode, 0, sizeof TimeCode);
  if (!FileName(path).Exists()) {
    ErrorCode = kMissing;
    return false;
  }
  const std::string ext = extensionOf(path);
  // Album files add their pictures one by one at the end of the album.
  if (ext == "qla") return ImportQla(path);
  if (ext == "wza") return ImportWza(path);
  if (ext == "dvf") return ImportDvf(path);
  if (ext == "yuv") return ImportYuv(path);
  if (ext == "ttl") return ImportTitle(path);
  return ImportFile(path);
}

bool CImageOpe::ReadsAsPicture(const std::string& path) {
  const std::string ext = extensionOf(path);
  return ext != "qla" && ext != "wza" && ext != "dvf" && ext != "yuv";
}

Extent CImageOpe::ThumbnailExtent(Extent full) {
  return ThumbnailSize(full.width, full.height, kThumbnailWidth, kThumbnailHeight);
}

std::string CImageOpe::MakeTempName(uint32_t start) const {
  for (uint32_t i = start; i < 1000; ++i) {
    char number[16];
    std::snprintf(number, sizeof number, "%03u", i);
    std::string base = workDir_ + "zbm1" + number;
    if (!FileName(base + "TN.bmp").Exists()) return base;
  }
  return {};
}

bool CImageOpe::ImportFile(const std::string& path) {
  if (AlbumFull()) return false;
  ImageFileInfoRecord info;
  if (!ImageFileInfo(path.c_str(), &info)) {
    ErrorCode = kUnreadable;
    return false;
  }
  PictureType = info.pictureType;
  SourceSize = info.fileSize;
  if (PictureType == QM_TYPE_GIF87 || PictureType == QM_TYPE_GIF89) {
    ErrorCode = kUnreadable;
    return false;
  }
  GetFileWriteTime(path, SourceWriteTime);

  // A JPEG much larger than its thumbnail is decoded already reduced (by the import's
  // look-ahead, when it has it ready) and scaled from there to the thumbnail's size,
  // which the rule gives for the picture's full size; any other picture is read whole
  // and scaled by SaveImage.
  Extent full;
  unsigned reduction = 1;
  Picture picture;
  if (ahead_ && IsJpegType(PictureType)) {
    picture.reset(ahead_->Take(path, full, reduction));
    if (picture && (full.width != info.width || full.height != info.height)) picture.reset(0);
  }
  if (!picture) picture.reset(ReadReduced(path, ThumbnailExtent, kThumbnailMargin, full, reduction));
  if (picture) {
    QmHandle small = 0;
    const Extent t = ThumbnailExtent(full);
    if (Resize(picture.get(), t.width, t.height, small)) {
      picture.reset(small);
    } else {
      picture.reset(0);
    }
  }
  if (!picture) {
    picture.reset(ImageFileLoad(path.c_str()));
    reduction = 1;
  }
  if (!picture) {
    ErrorCode = kUnreadable;
    return false;
  }
  bool ok = false;
  Size size;
  [&] {
    if (!sizeOf(picture.get(), size)) {
      ErrorCode = kUnreadable;
      return;
    }
    if (reduction > 1) size = Size{full.width, full.height};
    Width = static_cast<uint16_t>(size.w);
    Height = static_cast<uint16_t>(size.h);
    const uint16_t t = PictureType;
    if (t == QM_TYPE_BMP) {
      Extension = ".bmp";
    } else if (t == QM_TYPE_BMP_RLE4 || t == QM_TYPE_BMP_RLE8) {
      Extension = ".rle";
    } else if (IsJpegType(t)) {
      Extension = ".jpg";
    } else if (t >= QM_TYPE_TIFF && t <= QM_TYPE_TIFF_OTHER) {
      Extension = ".tif";
    } else if (t == QM_TYPE_PNG) {
      Extension = ".png";
    } else if (t >= QM_TYPE_FPX && t <= 18) {
      Extension = ".fpx";
    } else if (t == QM_TYPE_PCX) {
      Extension = ".pcx";
    } else {
      ErrorCode = kUnreadable;
      return;
    }
    const std::string base = MakeTempName(AlbumCount());
    if (base.empty()) {
      ErrorCode = kNoName;
      return;
    }
    WorkingPath = base + Extension;
    ThumbnailPath = base + "TN.bmp";
    removeFile(WorkingPath, clock_);

    // A 24-bit BMP and every other kind are copied as they are; a BMP of another depth
    // becomes a 24-bit BMP.
    bool written;
    if (t == QM_TYPE_BMP && info.bitCount != 24) {
      Picture deep(ImageToDepth(picture.get(), 24));
      picture.reset(deep.release());
      written = picture && ImageFileSaveBmp(WorkingPath.c_str(), picture.get());
    } else {
      written = copyFile(path, WorkingPath);
    }
    if (!written || !WaitFileExists(WorkingPath, clock_)) {
      ErrorCode = kSaveFailed;
      return;
    }
    makeNormal(WorkingPath);
    if (!SaveImage(ThumbnailPath, picture.get(), kThumbnailWidth, kThumbnailHeight)) {
      // A picture that is not added keeps no working copy.
      removeFile(WorkingPath, clock_);
      ErrorCode = kThumbnailFailed;
      return;
    }
    ok = true;
  }();
  picture.reset(0);
  letPendingEventsRun();
  if (ok) Report();
  return ok;
}

bool CImageOpe::ImportDvf(const std::string& path) { return ImportCapture(path, true); }

bool CImageOpe::ImportYuv(const std::string& path) { return ImportCapture(path, false); }

bool CImageOpe::ImportCapture(const std::string& path, bool dv) {
  if (AlbumFull()) return false;
  uint64_t sourceBytes = 0;
  FileName(path).GetSize(sourceBytes);
  uint64_t free = 0;
  FileName(workDir_).GetDiskFree(free);
  const uint64_t needed = dv ? kDvFreeBytes : sourceBytes * 5 / 2;
  if (free < needed) {
    ErrorCode = kNoSpace;
    return false;
  }
  Extension = "." + FileName(path).GetExt();
  const std::string base = MakeTempName(AlbumCount());
  SourceSize = static_cast<uint32_t>(sourceBytes);
  if (base.empty()) {
    ErrorCode = kNoName;
    return false;
  }
  const std::string bitmap = base + ".bmp";
  WorkingPath = base + Extension;
  ThumbnailPath = base + "TN.bmp";

  // The working copy is the capture file itself.
  makeNormal(WorkingPath);
  if (!copyFile(path, WorkingPath) || !WaitFileExists(WorkingPath, clock_)) {
    ErrorCode = kSaveFailed;
    return false;
  }
  makeNormal(WorkingPath);
  GetFileWriteTime(path, SourceWriteTime);

  // A bitmap left from an earlier run must not pass for this frame's.
  removeFile(bitmap, clock_);
  bool ok = false;
  const bool converted = dv ? dvFile_.Convert(WorkingPath, bitmap, 0) : yuvFile_.Convert(WorkingPath, bitmap, 0);
  if (!converted || !WaitFileExists(bitmap, clock_)) {
    ErrorCode = kUnreadable;
  } else {
    if (dv) std::memcpy(TimeCode, dvFile_.info().timeCode, sizeof dvFile_.info().timeCode);
    if (!dv) StretchYuv(bitmap);
    if (!dv) Wait(200, clock_);
    Picture picture(ImageFileLoad(bitmap.c_str()));
    Size size;
    if (!picture) {
      ErrorCode = kUnreadable;
    } else if (!SaveImage(ThumbnailPath, picture.get(), kThumbnailWidth, kThumbnailHeight)) {
      ErrorCode = kThumbnailFailed;
    } else if (!sizeOf(picture.get(), size)) {
      ErrorCode = kUnreadable;
    } else {
      Width = static_cast<uint16_t>(size.w);
      Height = static_cast<uint16_t>(size.h);
      PictureType = dv ? kTypeDv : kTypeYuv;
      ok = true;
    }
  }
  if (!ok) {
    // A frame that is not added keeps no working copy and no thumbnail.
    removeFile(WorkingPath, clock_);
    removeFile(ThumbnailPath, clock_);
  }
  removeFile(bitmap, clock_);
  if (ok) Report();
  return ok;
}

// A YUV0 frame of fewer than 300 rows holds one field: it is stretched to 4:3.
bool CImageOpe::StretchYuv(const std::string& bmp) {
  Picture picture(ImageFileLoad(bmp.c_str()));
  Size size;
  if (!picture || !sizeOf(picture.get(), size)) {
    ErrorCode = kUnreadable;
    return false;
  }
  if (size.h >= 300) return true;
  QmHandle stretched = 0;
  if (!Resize(picture.get(), size.w, size.w * 3 / 4, stretched)) {
    ErrorCode = kSaveFailed;
    return false;
  }
  picture.reset(stretched);
  if (!ImageFileSaveBmp(bmp.c_str(), picture.get()) || !WaitFileExists(bmp, clock_)) {
    ErrorCode = kSaveFailed;
    return false;
  }
  return true;
}

bool CImageOpe::SaveImage(const std::string& target, QmHandle picture, int32_t maxW, int32_t maxH) {
  Size s;
  if (!picture || !sizeOf(picture, s) || maxW < 1 || maxH < 1) return false;
  Picture scaled;
  if (!((s.w == maxW && s.h <= maxH) || (s.w <= maxW && s.h == maxH))) {
    int64_t w, h;
    if (3ll * s.w > 4ll * s.h) {
      w = maxW;
      h = static_cast<int64_t>(s.h) * maxW / s.w;
    } else {
      h = maxH;
      w = static_cast<int64_t>(s.w) * maxH / s.h;
    }
    QmHandle result = 0;
    if (!Resize(picture, static_cast<int32_t>(std::max<int64_t>(w, 1)), static_cast<int32_t>(std::max<int64_t>(h, 1)),
                result)) {
      ErrorCode = kSaveFailed;
      return false;
    }
    scaled.reset(result);
  }
  const QmHandle out = scaled ? scaled.get() : picture;
  // The file is replaced only once the new one is whole: a thumbnail that cannot be
  // written (a full disk) leaves the one there was.
  makeNormal(target);
  const bool jpeg = FileName(target).GetExt().size() == 3 && lower(FileName(target).GetExt()) == "jpg";
  const bool ok = jpeg ? ImageFileSaveJpeg(target.c_str(), out, 0, 50, 1, "") : ImageFileSaveBmp(target.c_str(), out);
  if (!ok) {
    ErrorCode = kSaveFailed;
    return false;
  }
  WaitFileExists(target, clock_);
  makeNormal(target);
  return true;
}

bool CImageOpe::Resize(QmHandle picture, int32_t w, int32_t h, QmHandle& result) {
  result = 0;
  Size s;
  if (!sizeOf(picture, s)) return false;
  result = (s.w == w && s.h == h) ? ImageCopy(picture) : ImageResize(picture, w, h);
  return result != 0;
}

// ---- export and conversion -------------------------------------------------------------

QmHandle CImageOpe::LoadAny(const std::string& source, uint32_t filterMode) {
  const std::string ext = extensionOf(source);
  if (ext != "dvf" && ext != "yuv") return ImageFileLoad(source.c_str());
  // A capture file goes through a temporary BMP, which must be this conversion's own.
  const std::string tmp = workDir_ + "tmp.bmp";
  removeFile(tmp, clock_);
  QmHandle picture = ConvertToBmp(source, tmp, filterMode) ? ImageFileLoad(tmp.c_str()) : 0;
  removeFile(tmp, clock_);
  return picture;
}

bool CImageOpe::ExportImage(const std::string& source, const std::string& target) {
  if (album_) album_->SetBusy(true);
  Extension = extensionOf(source);
  Picture picture(LoadAny(source, static_cast<uint32_t>(settings_.CorrectionCode)));
  bool ok = false;
  if (!picture) {
    ErrorCode = kUnreadable;
  } else {
    QmHandle next = 0;
    bool shaped = true;
    if (settings_.SizeMode == OutputFormatSettings::kSize720x540) {
      shaped = Fit720x540(picture.get(), FillColor, next);
      if (shaped) picture.reset(next);
    } else {
      if (settings_.SizeMode != OutputFormatSettings::kKeepSize) {
        shaped = Letterbox(picture.get(), settings_.OutputWidth, settings_.OutputHeight, FillColor, next);
        if (shaped) picture.reset(next);
      }
      if (shaped && settings_.Rotation != OutputFormatSettings::kNoRotation) {
        shaped = Rotate(picture.get(), settings_.Rotation, next);
        if (shaped) picture.reset(next);
      }
    }
    if (shaped) {
      makeNormal(target);
      switch (settings_.Format) {
        case OutputFormatSettings::kJpeg:
          ok = ImageFileSaveJpeg(target.c_str(), picture.get(), 0, settings_.JpegQuality, 0, "");
          break;
        case OutputFormatSettings::kBmp:
          ok = ImageFileSaveBmp(target.c_str(), picture.get());
          break;
        case OutputFormatSettings::kTitle:
          ok = SaveDcfJpeg(target, picture.get(), settings_.JpegQuality, Title);
          break;
        default:
          break;
      }
    }
    if (ok) {
      WaitFileExists(target, clock_);
    } else {
      ErrorCode = kExportFailed;
    }
  }
  picture.reset(0);
  if (album_) album_->SetBusy(false);
  return ok;
}

bool CImageOpe::ConvertToBmp(const std::string& source, const std::string& target, uint32_t filterMode) {
  Extension = extensionOf(source);
  if (Extension == "dvf") {
    if (!dvFile_.Convert(source, target, filterMode)) return false;
    WaitFileExists(target, clock_);
    return true;
  }
  if (Extension == "yuv") {
    if (!yuvFile_.Convert(source, target, 0)) return false;
    WaitFileExists(target, clock_);
    Picture picture(ImageFileLoad(target.c_str()));
    Size size;
    if (!picture || !sizeOf(picture.get(), size)) {
      ErrorCode = kUnreadable;
      return false;
    }
    Height = static_cast<uint16_t>(size.h < 300 ? size.w * 3 / 4 : size.h);
    return size.h >= 300 || StretchYuv(target);
  }
  ImageFileInfoRecord info;
  if (!ImageFileInfo(source.c_str(), &info)) {
    ErrorCode = kUnreadable;
    return false;
  }
  bool ok;
  if (info.pictureType == QM_TYPE_BMP) {
    ok = copyFile(source, target);
  } else {
    Picture picture(ImageFileLoad(source.c_str()));
    ok = picture && ImageFileSaveBmp(target.c_str(), picture.get());
  }
  if (ok) WaitFileExists(target, clock_);
  return ok;
}

bool CImageOpe::ConvertImage(const std::string& target, const std::string& source, int32_t maxW, int32_t maxH) {
  WaitFileExists(source, clock_);
  Picture picture(LoadAny(source, 0));
  if (!picture) return false;
  const bool ok = SaveImage(target, picture.get(), maxW, maxH);
  if (ok) WaitFileExists(target, clock_);
  return ok;
}

bool CImageOpe::Letterbox(QmHandle picture, int32_t W, int32_t H, uint32_t colour, QmHandle& result) {
  result = 0;
  Size s;
  if (!sizeOf(picture, s) || W < 1 || H < 1) return false;
  if (s.w == W && s.h == H) return (result = ImageCopy(picture)) != 0;
  // The picture at the largest size that fits, its aspect kept.
  int64_t sw, sh;
  if (static_cast<int64_t>(s.w) * H > static_cast<int64_t>(s.h) * W) {
    sw = W;
    sh = std::max<int64_t>(1, static_cast<int64_t>(W) * s.h / s.w);
  } else {
    sh = H;
    sw = std::max<int64_t>(1, static_cast<int64_t>(H) * s.w / s.h);
  }
  Picture scaled(ImageResize(picture, static_cast<int32_t>(sw), static_cast<int32_t>(sh)));
  if (!scaled) return false;
  if (sw == W && sh == H) {
    result = scaled.release();
    return true;
  }
  Picture canvas(ImageCreate(W, H, 24, colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
  if (!canvas) return false;
  result = ImageOverlay(canvas.get(), scaled.get(), static_cast<int32_t>((W - sw) / 2), static_cast<int32_t>((H - sh) / 2));
  return result != 0;
}

bool CImageOpe::Fit720x540(QmHandle picture, uint32_t colour, QmHandle& result) {
  result = 0;
  Size s;
  if (!sizeOf(picture, s)) return false;
  const int64_t w = s.w, h = s.h;
  if (9 * w == 16 * h) return (result = ImageResize(picture, 720, 540)) != 0;
  if (9 * w > 16 * h) {
    // Wider than 16:9: the whole picture 720 wide, centred on a 720 x 540 canvas.
    const int64_t sh = std::max<int64_t>(1, h * 960 / w);
    Picture scaled(ImageResize(picture, 720, static_cast<int32_t>(sh)));
    Picture canvas(ImageCreate(720, 540, 24, colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
    if (!scaled || !canvas) return false;
    result = ImageOverlay(canvas.get(), scaled.get(), 0, static_cast<int32_t>((540 - sh) / 2));
    return result != 0;
  }
  // Narrower: the 16:9 band in the middle of the picture fills the frame.
  const int64_t b = std::max<int64_t>(1, w * 9 / 16);
  const int64_t t = (h - b) / 2;
  const int32_t corners[8] = {0, static_cast<int32_t>(t), s.w, static_cast<int32_t>(t), s.w,
                              static_cast<int32_t>(t + b), 0, static_cast<int32_t>(t + b)};
  QmClip band{};
  if (!ClipCut(picture, &band, QM_CLIP_POLYGON, corners, 4)) return false;
  result = ImageResize(band.picture, 720, 540);
  ImageFree(band.picture);
  ImageFree(band.place);
  return result != 0;
}

bool CImageOpe::Rotate(QmHandle picture, int32_t rotation, QmHandle& result) {
  result = 0;
  Size s;
  if (!sizeOf(picture, s) || (rotation != 1 && rotation != 2)) return false;
  Picture canvas(ImageCreate(s.h, s.w, 24, 127, 127, 127));
  QmClip whole{};
  if (!canvas || !ClipCut(picture, &whole, QM_CLIP_WHOLE, nullptr, 0)) return false;
  // The turned picture is exactly as large as the canvas and covers it.
  result = ClipPaste(canvas.get(), &whole, rotation == 1 ? -9000 : 9000, s.h / 2, s.w / 2);
  ImageFree(whole.picture);
  ImageFree(whole.place);
  return result != 0;
}

bool CImageOpe::DeleteFiles(const std::string& pattern) {
  const size_t slash = pattern.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
  const std::string glob = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), &::closedir);
  if (!d) return false;
  bool any = false;
  while (const dirent* e = ::readdir(d.get())) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    if (!matches(glob.c_str(), e->d_name)) continue;
    const std::string path = slash == std::string::npos ? std::string(e->d_name) : dir + e->d_name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    any = true;
    removeFile(path, clock_);
  }
  return any;
}

// ---- title picture files ---------------------------------------------------------------

namespace {

// The bytes of a JPEG file from its first quantisation table (FF DB) on: what follows
// the start of image and the header segments. Empty when the file cannot be read or has
// no such marker.
std::string fromFirstTable(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) return {};
  std::string bytes;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0;) bytes.append(buffer, n);
  if (std::ferror(f.get())) return {};
  for (size_t i = 2; i + 1 < bytes.size(); ++i) {
    if (static_cast<uint8_t>(bytes[i]) == 0xFF && static_cast<uint8_t>(bytes[i + 1]) == 0xDB) return bytes.substr(i);
  }
  return {};
}

std::string boundedText(const char (&text)[255]) { return std::string(text, strnlen(text, 254)); }

}  // namespace

bool CImageOpe::SaveDcfJpeg(const std::string& target, QmHandle picture, int32_t quality, const TitleRecord* record) {
  const std::string thumbPath = workDir_ + "tn.jpg";
  const std::string mainPath = workDir_ + "temp.jpg";
  const bool ok = SaveTitleFile(target, picture, quality, record);
  removeFile(mainPath, clock_);
  removeFile(thumbPath, clock_);
  if (ok) WaitFileExists(target, clock_);
  return ok;
}

bool CImageOpe::SaveTitleFile(const std::string& target, QmHandle picture, int32_t quality,
                              const TitleRecord* record) {
  const std::string thumbPath = workDir_ + "tn.jpg";
  const std::string mainPath = workDir_ + "temp.jpg";
  // The 160 x 120 thumbnail on white, and the picture, each through the JPEG writer; of
  // each file only the data from its first quantisation table on is used.
  {
    QmHandle small = 0;
    if (!Letterbox(picture, 160, 120, 0xFFFFFF, small)) return false;
    Picture thumb(small);
    removeFile(thumbPath, clock_);
    if (!ImageFileSaveJpeg(thumbPath.c_str(), thumb.get(), 0, 50, 1, "")) return false;
  }
  WaitFileExists(thumbPath, clock_);
  const std::string thumbData = fromFirstTable(thumbPath);
  if (thumbData.empty()) return false;
  if (!ImageFileSaveJpeg(mainPath.c_str(), picture, 0, quality, 1, "")) return false;
  WaitFileExists(mainPath, clock_);
  const std::string mainData = fromFirstTable(mainPath);
  if (mainData.empty()) return false;

  C_DCF_Data dcf;
  dcf.ThumbnailLength = static_cast<uint32_t>(std::min<size_t>(thumbData.size() + 2, 0x10000));
  if (record) {
    dcf.Description = boundedText(record->text1);
    dcf.Make = boundedText(record->text2);
    dcf.Model = boundedText(record->text3);
    dcf.TitleNumber = record->titleNumber;
  }
  Size size;
  if (!sizeOf(picture, size)) return false;
  dcf.Width = static_cast<uint32_t>(size.w);
  dcf.Height = static_cast<uint32_t>(size.h);
  // Both date-times are the moment of the save, in local time.
  FileTime written = 0;
  if (GetFileWriteTime(mainPath, written)) {
    const time_t seconds = static_cast<time_t>(written / 1000000000);
    std::tm local{};
    if (localtime_r(&seconds, &local)) {
      dcf.SetDateTime(0, local);
      dcf.SetDateTime(1, local);
    }
  }
  if (!dcf.MakeExif(record ? record->makerNote : 0)) return false;

  static const char kStart[2] = {'\xFF', '\xD8'};
  platform::AtomicFileWriter file(target);
  return file.open() && file.write(kStart, 2) && file.write(dcf.Segment(), dcf.TiffLength() + 10) &&
         file.write(kStart, 2) && file.write(thumbData.data(), thumbData.size()) &&
         file.write(mainData.data(), mainData.size()) && file.commit();
}

bool CImageOpe::ImportTitle(const std::string& path) {
  if (AlbumFull()) return false;
  TitleNumber = kNoTitle;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) {
    ErrorCode = kUnreadable;
    return false;
  }
  // The Exif segment with its 16-bit length lies within the first 12 + 65535 bytes.
  std::vector<uint8_t> head(12 + 65535);
  head.resize(std::fread(head.data(), 1, head.size(), f.get()));
  f.reset();
  if (auto number = ReadTitleNumber(head.data(), head.size())) {
    TitleNumber = *number;
    if (album_) album_->SetModified();
  }
  return ImportFile(path);
}

}  // namespace workspace
