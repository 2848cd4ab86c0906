// What a long export asks of the window that waits for it: time for pending events
// (so that the wait window's Stop can be pressed), whether Stop was pressed, and where
// the work stands.
#pragma once

namespace workspace {
class TfrmWait;
}

namespace exporters {

class ExportMonitor {
 public:
  virtual ~ExportMonitor() = default;
  // Lets the program handle its pending events.
  virtual void ProcessMessages() = 0;
  // True once the user asked to stop.
  virtual bool Aborted() const = 0;
  // The share of the work done, 0..100.
  virtual void Progress(int percent) = 0;
};

// The wait window as the monitor: its abort flag, its progress bar (WM_WAIT_PROGRESS)
// and the GUI thread's event loop. The window must be shown by the caller (with the
// progress bar when progress is wanted) and outlive the monitor.
class WaitWindowMonitor final : public ExportMonitor {
 public:
  explicit WaitWindowMonitor(workspace::TfrmWait& wait) : wait_(wait) {}
  void ProcessMessages() override;
  bool Aborted() const override;
  void Progress(int percent) override;

 private:
  workspace::TfrmWait& wait_;
};

}  // namespace exporters
