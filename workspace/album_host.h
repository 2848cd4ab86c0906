// What the picture engines need from the main window and its album. The main window
// implements it and hands it to every engine it makes; until then an engine works
// without an album (count 0, no album-full message, nothing marked modified).
#pragma once

#include <cstdint>

namespace platform {
class MessageReceiver;
}

namespace workspace {

class AlbumHost {
 public:
  virtual ~AlbumHost() = default;
  // How many pictures the main window's album holds.
  virtual uint32_t PictureCount() const = 0;
  // The main window: only an engine bound to it refuses pictures beyond the album's limit.
  virtual platform::MessageReceiver* MainWindow() const = 0;
  // The album-full message; it also closes the wait window and sets its abort flag.
  virtual void ShowFrameOver() = 0;
  // Marks the album modified.
  virtual void SetModified() = 0;
  // Marks the album as it was saved or read: not modified.
  virtual void ClearModified() {}
  // Empties the album after offering to save it (File, New); a host without that
  // command keeps its pictures, and albums read into it are added to them. False when
  // the album was kept because the save the user asked for failed or was cancelled.
  virtual bool NewAlbum() { return true; }
  // Shows the busy cursor while a picture is exported, and takes it away again.
  virtual void SetBusy(bool busy) = 0;
};

}  // namespace workspace
