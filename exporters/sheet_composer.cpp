#include "sheet_composer.h"

#include <cstdio>

#include "exporters/card_pictures.h"
#include "exporters/sheet_layout.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/image_ope.h"

namespace exporters {

SheetResult ComposeSheet(const SheetJob& job, const std::string& target, workspace::CImageOpe& engine,
                         const std::function<bool()>& stopped, const std::function<void()>& pending) {
  const uint32_t c = job.background;
  OwnedPicture canvas(ImageCreate(job.width, job.height, 24, c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
  if (!canvas || job.grid < 1) return SheetResult::Failed;
  const int n = job.grid;
  for (int i = 0; i < n * n && i < static_cast<int>(job.cells.size()); ++i) {
    if (job.cells[static_cast<size_t>(i)].empty()) continue;
    if (stopped && stopped()) return SheetResult::Stopped;
    const CellRect cell = SheetCell(i, n, job.width, job.height);
    OwnedPicture picture(LoadAlbumPicture(engine, job.cells[static_cast<size_t>(i)]));
    QmHandle fitted = 0;
    if (picture && engine.Letterbox(picture.get(), cell.width, cell.height, c, fitted)) {
      OwnedPicture owned(fitted);
      LayOver(canvas.get(), owned.get(), cell.left, cell.top, false);
    } else {
      std::fprintf(stderr, "albumdesk: sheet cell %d left empty: %s cannot be read\n", i + 1,
                   job.cells[static_cast<size_t>(i)].c_str());
    }
    if (pending) pending();
  }
  const bool written = job.format == 0 ? ImageFileSaveJpeg(target.c_str(), canvas.get(), 0, job.quality, 0, "")
                                       : ImageFileSaveBmp(target.c_str(), canvas.get());
  return written ? SheetResult::Written : SheetResult::Failed;
}

}  // namespace exporters
