// Automatic capture: one decision step after each status the polling thread decodes,
// carried out on the GUI thread while the polling thread waits for it.
#include <cstdlib>

#include "capture/varn_vtr.h"

namespace capture {

namespace {
constexpr VarnTemplate kPhotoSearchCommand{0x48, 0x51, 0x75, 0, 0, 0, 0};
constexpr VarnTemplate kPhotoSearchState{0x48, 0x52, 0x20, 0, 0, 0, 0};

// The album holds at most this many pictures.
constexpr int kAlbumLimit = 200;

// Photo search states: rewind first (0..2), then play a while (3..5), then search (6..).
enum PhotoState { kPhotoStop = 0, kPhotoRewind, kPhotoRewinding, kPhotoPlay, kPhotoPlaying, kPhotoWarm, kPhotoReady,
                  kPhotoSearch, kPhotoSearching, kPhotoFound };
}  // namespace

void VarnVtr::StartInterval(int32_t startFrames) {
  run_ = {};
  run_.startFrames = startFrames;
  run_.lastPosition = startFrames;
}

void VarnVtr::StartPhotoSearch(bool rewind) {
  run_ = {};
  run_.lastPosition = Snapshot().position;
  run_.photoState = rewind ? kPhotoStop : kPhotoPlay;
}

void VarnVtr::AutoCheck() {
  // A step never runs inside another: the commands and the capture it makes decode
  // replies and process events, and must not start a second step.
  if (!autoOn_ || !host_ || inCheck_) return;
  struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
  } guard(inCheck_);

  if (host_->AbortFlag()) {
    AutoStop();
    return;
  }
  if (!host_->WaitShown()) host_->ShowWait();
  const AutoSettings& a = auto_;
  switch (a.mode) {
    case 1:
      if (run_.done == 0) {
        run_.done = 1;
        if (host_->CaptureOne()) commandWait(kTransportPlay);
        else AutoStop();
        return;
      }
      if (!SeekAndCapture(run_.startFrames + int64_t(a.intervalFrames) * run_.done) || !autoOn_) return;
      ++run_.done;
      if (run_.done < a.count) {
        SeekToTarget(run_.startFrames + int64_t(a.intervalFrames) * run_.done);
        run_.armed = false;
      } else {
        AutoStop();
      }
      return;
    case 2:
      if (!PhotoPrepare() || !PhotoCapture() || !autoOn_) return;
      if (++run_.done >= a.count) AutoStop();
      return;
    case 0:
      if (SeekAndCapture(a.targetFrames) && autoOn_) AutoStop();
      return;
    default:
      return;
  }
}

bool VarnVtr::SeekAndCapture(int64_t target) {
  const VtrStatus s = Snapshot();
  // Stopped means the last status said stop: a mode not yet refined after the tape
  // started playing again is not a stop.
  if (s.rawMode == kTransportStop || !s.online) {
    autoErrorStop_ = true;
    host_->SetAbortFlag(true);
    return false;
  }
  const int64_t p = s.position;
  if (p > kPositionLimit) return false;
  if (std::llabs(p - run_.lastPosition) > kJumpFrames) {
    run_.lastPosition = p;
    return false;
  }
  run_.lastPosition = p;
  const int64_t r = s.frameRate;
  const bool far = target - int64_t(auto_.approachSeconds) * r > p;
  const bool near = target - int64_t(auto_.settleSeconds) * r < p;

  if (s.mode == kTransportCueForward && !run_.armed) {
    if (far) return false;
    commandWait(kTransportPlay);
    io_.Pause(kAfterCueForwardMs);
    run_.armed = true;
    return false;
  }
  if (s.mode == kTransportCueReverse && !run_.armed) {
    if (near) return false;
    commandWait(kTransportPlay);
    io_.Pause(kAfterCueReverseMs);
    run_.armed = true;
    return false;
  }
  if (s.mode != kTransportPlay) return false;
  if (!run_.armed) {
    if (far) {
      commandWait(kTransportCueForward);
      io_.Pause(kAfterCueForwardMs);
    } else if (near) {
      commandWait(kTransportCueReverse);
      io_.Pause(kAfterCueForwardMs);
    }
    return false;
  }
  if (p < target - kCaptureLead) return false;
  run_.armed = false;
  if (!host_->CaptureOne()) {
    AutoStop();
    return false;
  }
  // The dialog let the run take exactly as many pictures as the album had room for.
  if (host_->AlbumCount() >= kAlbumLimit) AutoStop();
  else if (auto_.mode == 1 && run_.done + 1 < auto_.count) commandWait(kTransportPlay);
  return true;
}

void VarnVtr::SeekToTarget(int64_t target) {
  const VtrStatus s = Snapshot();
  if (s.mode != kTransportPause && s.mode != kTransportPlay) return;
  const int64_t r = s.frameRate, p = s.position;
  const int64_t from = target - int64_t(auto_.approachSeconds) * r, to = target - int64_t(auto_.settleSeconds) * r;
  if (p < from) host_->PanelCommand(kTransportCueForward);
  else if (p > to) host_->PanelCommand(kTransportCueReverse);
  else host_->PanelCommand(kTransportPlay);
}

bool VarnVtr::PhotoPrepare() {
  const uint8_t mode = Snapshot().mode;
  int& state = run_.photoState;
  switch (state) {
    case kPhotoStop:
      if (mode == kTransportRewind) state = kPhotoRewinding;
      else if (mode == kTransportStop) state = kPhotoRewind;
      else host_->PanelCommand(kTransportStop);
      return false;
    case kPhotoRewind:
      if (mode == kTransportRewind) state = kPhotoRewinding;
      else host_->PanelCommand(kTransportRewind);
      return false;
    case kPhotoRewinding:
      if (mode == kTransportStop) state = kPhotoPlay;
      return false;
    case kPhotoPlay:
      host_->PanelCommand(kTransportPlay);
      run_.photoStarted = false;
      state = kPhotoPlaying;
      return false;
    case kPhotoPlaying:
      if (mode == kTransportPlay) {
        run_.photoStart = io_.clock().now();
        run_.photoStarted = true;
        state = kPhotoWarm;
      }
      return false;
    case kPhotoWarm:
      if (io_.clock().now() - run_.photoStart > std::chrono::milliseconds(kPlayBeforeSearchMs)) {
        state = kPhotoReady;
        return true;
      }
      return false;
    default:
      return true;
  }
}

bool VarnVtr::PhotoCapture() {
  int& state = run_.photoState;
  switch (state) {
    case kPhotoReady:
      run_.done = 0;
      state = kPhotoSearch;
      return false;
    case kPhotoSearch:
      if (!io_.TransactRetry(packet(kPhotoSearchCommand), 3).ok) {
        autoErrorStop_ = true;
        AutoStop();
        return false;
      }
      state = kPhotoSearching;
      return false;
    case kPhotoSearching: {
      VarnReply r = io_.Transact(packet(kPhotoSearchState));
      if (r.code == kLinkOk && (r.status() & 0x0F) == 3 && !(r.p(0) & 4)) {
        if (!(r.p(0) & 2)) return false;  // still searching
        state = kPhotoFound;
        io_.Pause(kBeforePhotoCaptureMs);
        if (!host_->CaptureOne()) {
          AutoStop();
          return false;
        }
        state = kPhotoSearch;
        return true;
      }
      // No further scene, or no answer: the run cannot go on.
      autoErrorStop_ = true;
      AutoStop();
      return false;
    }
    default:
      return false;
  }
}

void VarnVtr::AutoStop() {
  autoOn_ = false;
  commandWait(kTransportStop);
  if (host_) {
    host_->SetAbortFlag(false);
    host_->CloseWait();
  }
  const int64_t start = run_.startFrames;
  run_ = {};
  run_.startFrames = start;
  if (autoErrorStop_.exchange(false) && host_) host_->ReportAutoError();
  if (host_) host_->RunEnded();
}

void VarnVtr::DeviceLost() {
  if (!autoOn_) return;
  autoErrorStop_ = true;
  AutoStop();
}

}  // namespace capture
