#include "capture/varn_cpt.h"

#include <algorithm>
#include <filesystem>

#include "capture/dv_rebuild.h"
#include "capture/varn_vtr.h"
#include "platform/atomic_file.h"
#include "platform/folders.h"

namespace capture {

namespace {

VarnPacket packet(uint8_t id, const VarnTemplate& t) { return CVarnIO::Prepare(id, t); }

uint8_t bcd(int v) { return uint8_t((v / 10) * 16 + v % 10); }

}  // namespace

bool CaptureHooks::StopPlayDevice(CVarnIO& io, uint8_t playId) {
  VarnVtr transport(io);
  transport.SetDevice(playId);
  return transport.Command(kTransportStop, true);
}

VarnCpt::VarnCpt(CVarnIO& io)
    : io_(io), sptp_(io), blockBuffer_(kBlockBufferSize), dvFrame_(kDvFrameBufferSize) {}

// ---- the sequence -----------------------------------------------------------------------

int VarnCpt::CaptureSequence() {
  sptpSent_ = rateSent_ = transferLine_ = false;
  int p = Prepare();
  if (p != kPrepareReady) {
    hooks_->CloseWait();
    return p == kPrepareNoSignal ? kCaptureNoSignal : kCaptureRefused;
  }
  hooks_->ShowWait();
  int r = kCaptured;
  // Once the switch command has gone out the camcorder may speak the transfer protocol,
  // so from then on every way out leaves it again.
  bool leave = true;
  if (!EnterTransfer()) {
    r = kCaptureEnterFailed;
    leave = sptpSent_;
  } else if (!SetRate()) {
    r = kCaptureRateFailed;
  } else if (!hooks_->RunTransfer([this] { return Transfer(); })) {
    if (fileFailed_) r = kCaptureFileFailed;
    else if (notAdded_) r = kCaptureNotAdded;
    else r = hooks_->AbortRequested() ? kCaptureStopped : kCaptureTransferFailed;
  }
  if (leave) {
    hooks_->AllowAbort(false);
    LeaveTransfer();
    io_.TransactRetry(packet(deviceId_, varn::kAfterLeave), 3);
  }
  hooks_->CloseWait();
  return r;
}

uint32_t VarnCpt::SelectStandalone() { return io_.Transact(packet(deviceId_, varn::kSelectStandalone)).code; }

int VarnCpt::Prepare() {
  VarnReply r = io_.TransactRetry(packet(deviceId_, varn::kCapturePrepare), 3);
  if (!r.ok) return kPrepareFailed;
  if (r.p(0) & 1) return kPrepareNoSignal;
  for (int i = 1;; ++i) {
    VarnReply q = io_.TransactRetry(packet(deviceId_, varn::kCaptureStatus), 5);
    if (!q.ok) return kPrepareFailed;
    if (!(q.p(0) & 2)) break;
    if (i > kBusyQueries) return kPrepareFailed;
  }
  MakeTimeCodePack();
  if (!settings_.havePlayDevice) return kPrepareReady;
  if (settings_.playGroup12)
    io_.Transact(packet(deviceId_, varn::kPause));
  else
    hooks_->StopPlayDevice(io_, settings_.playId);
  return kPrepareReady;
}

void VarnCpt::MakeTimeCodePack() {
  const TapeStatus& t = settings_.tape;
  const int64_t r = t.frameRate == 25 ? 25 : 30;
  int64_t f = int64_t(t.position) + (t.mode == 6 ? 6 : 0);
  // The pack holds a time of day: a position before the tape's zero shows as zero, and
  // hours wrap at 24 rather than spill into the flag bits.
  if (f < 0) f = 0;
  const int hours = int((f / (3600 * r)) % 24);
  const int minutes = int((f % (3600 * r)) / (60 * r));
  const int seconds = int((f % (60 * r)) / r);
  const int frames = int(f % r);
  timeCodePack_ = {0x13, uint8_t(0xC0 | bcd(frames)), uint8_t(0x80 | bcd(seconds)), uint8_t(0x80 | bcd(minutes)),
                   uint8_t(0xC0 | bcd(hours))};
}

bool VarnCpt::EnterTransfer() {
  if (!io_.TransactRetry(packet(deviceId_, varn::kEnter1), 3).ok) return false;
  VarnTemplate t = varn::kEnter2;
  t[2] = 3;
  if (io_.Transact(packet(varn::kBroadcastId, t)).code != kLinkOk) return false;
  sptpSent_ = true;
  if (!io_.TransactRetry(packet(deviceId_, varn::kEnterSptp), 3).ok) return false;
  if (!io_.SetupTransfer()) return false;
  transferLine_ = true;
  io_.Pause(50);
  return true;
}

bool VarnCpt::SetRate() {
  RateChoice c = RateFor(settings_.baud);
  pace_ = c.paceMs;
  rateSent_ = true;
  sptp_.Build(deviceId_, c.command);
  if (!sptp_.SendRetry(3)) return false;
  // The port follows the rate the camcorder was told, whatever rate was configured.
  return io_.SetBaud(c.baud);
}

int VarnCpt::Transfer() {
  sptp_.Build(deviceId_, sptp::kStart);
  if (!sptp_.SendRetry(3)) return 0;
  io_.SetTimeouts(5000);
  hooks_->AllowAbort(true);
  picture_.Reset();
  lastFile_.clear();
  fileFailed_ = notAdded_ = false;
  firstBlock_ = true;
  bool complete = false;
  for (;;) {
    if (!ReceiveBlock()) break;
    if (uint32_t size = picture_.header().pictureSize)
      hooks_->Progress(int(std::min<uint64_t>(100, uint64_t(picture_.received()) * 100 / size)));
    if (picture_.endCode() == sptp::kEtb) {
      complete = true;
      break;
    }
    if (hooks_->AbortRequested()) break;
    io_.SetTimeouts(4000);
  }
  int verdict = 0;
  if (complete) {
    const bool dv = picture_.header().isDv();
    if (dv ? WriteDvf() : WriteYuv()) {
      // A picture the album did not take was not captured, though its file is there.
      const bool added = hooks_->CaptureFileReady(dv ? CaptureFile::Dvf : CaptureFile::Yuv, lastFile_);
      io_.Pause(kAfterFileMs);
      verdict = added ? 1 : 0;
      notAdded_ = !added;
    }
  }
  io_.SetTimeouts(2000);
  io_.PurgeRx();
  return verdict;
}

bool VarnCpt::LeaveTransfer() {
  // The end command goes on the transfer line even when the switch failed before it was set.
  if (!transferLine_) io_.SetupTransfer();
  sptp_.Build(deviceId_, sptp::kEnd);
  bool ended = sptp_.SendRetry(1);
  if (!ended && rateSent_) {
    // The camcorder may have taken the new rate while the port did not, or the other way
    // round: try the other of the two rates too.
    const uint32_t asked = RateFor(settings_.baud).baud;
    const uint32_t other = io_.Baud() == asked ? 9600 : asked;
    if (other != io_.Baud() && io_.SetBaud(other)) ended = sptp_.SendRetry(1);
  }
  io_.SetupVarn();
  if (!ended) io_.Pause(kLeaveFailedMs);
  sptpSent_ = rateSent_ = transferLine_ = false;
  return true;
}

// ---- blocks -------------------------------------------------------------------------------

bool VarnCpt::ReceiveBlock() {
  std::lock_guard lock(io_.link());
  const uint32_t idleLimit = 500 / std::max<uint32_t>(pace_, 1);
  uint8_t* buf = blockBuffer_.data();
  const size_t size = blockBuffer_.size();
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (!(firstBlock_ && attempt == 0)) {
      if (attempt == 0) {
        sptp_.Build(deviceId_, sptp::kNext);
      } else {
        io_.Pause(kResendWaitMs);
        io_.PurgeRx();
        sptp_.Build(deviceId_, sptp::kResend);
      }
      sptp_.Send();
    }
    firstBlock_ = false;
    io_.Pause(kBlockWaitMs);
    std::fill(blockBuffer_.begin(), blockBuffer_.end(), 0);
    if (!io_.Read(buf, 5) || buf[4] != 0x01) continue;

    io_.SetTimeouts(pace_);
    size_t count = 5;
    uint32_t idle = 0;
    bool failed = false;
    for (;;) {
      if (count >= size) {  // more than any legal block
        failed = true;
        break;
      }
      int n = io_.ReadAvailable(buf + count, size - count);
      if (hooks_->TakeBlockError() || n < 0) {
        failed = true;
        break;
      }
      if (n > 0) {
        count += size_t(n);
        idle = 0;
        // A whole block has come: no need to wait for the line to go quiet.
        if (count > kDvBlockSize && WholeBlockFrame(buf, count)) break;
      } else {
        if (count > kDvBlockSize && idle >= 1) break;
        if (++idle > idleLimit) break;
      }
      io_.Pause(pace_);
    }
    io_.PurgeRx();
    if (settings_.diagnostic) dump("pct2.dat", buf, count);
    if (!failed) {
      rawCount_ = uint32_t(count);
      if (ParseBlock()) return true;
    }
  }
  return false;
}

bool VarnCpt::ParseBlock() {
  if (picture_.ParseBlock(blockBuffer_.data(), rawCount_) == BlockVerdict::Ok) return true;
  if (settings_.diagnostic) {
    dump("err_pct.dat", blockBuffer_.data(), rawCount_);
    dump("err_dat.dat", picture_.payload(), picture_.payloadLength());
  }
  return false;
}

// ---- capture files --------------------------------------------------------------------------

std::string VarnCpt::folder() const {
  std::string dir = settings_.workDir.empty() ? platform::workDir() : settings_.workDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

void VarnCpt::dump(const std::string& name, const void* data, size_t n) const {
  std::error_code ec;
  std::filesystem::create_directories(folder(), ec);
  platform::writeFileAtomic(folder() + name, std::string_view(static_cast<const char*>(data), n));
}

bool VarnCpt::writeCaptureFile(const std::string& name, const std::vector<std::pair<const void*, size_t>>& parts) {
  std::error_code ec;
  std::filesystem::create_directories(folder(), ec);
  platform::AtomicFileWriter out(folder() + name);
  bool written = out.open();
  for (const auto& [data, n] : parts) written = written && out.write(data, n);
  if (!written || !out.commit()) {
    fileFailed_ = true;
    return false;
  }
  lastFile_ = out.target();
  return true;
}

bool VarnCpt::WriteDvf() {
  if (!picture_.Complete()) return false;
  uint32_t received = picture_.received();
  const int n = MakeDvFrame(picture_.picture().data(), received, picture_.header().pictureType, timeCodePack_,
                            dvFrame_.data());
  if (n == 0) return false;
  const std::string head = DvfHead(n);
  std::vector<std::pair<const void*, size_t>> parts{{head.data(), head.size()}};
  for (int s = 0; s < n; ++s) parts.emplace_back(dvFrame_.data() + size_t(s) * kDifSequence + kDifBlock, kDvfSequenceBytes);
  return writeCaptureFile("temp.dvf", parts);
}

bool VarnCpt::WriteYuv() {
  if (!picture_.Complete()) return false;
  const PictureHeader& h = picture_.header();
  // Rows of 4-pixel groups of 6 bytes: the header must describe the data that came.
  if (h.width == 0 || h.height == 0 || h.width % 4 != 0) return false;
  if (uint64_t(h.pictureSize) < uint64_t(h.width) * h.height * 3 / 2) return false;
  const std::string head = YuvHead(h.pictureSize, h.width, h.height);
  return writeCaptureFile("temp.yuv", {{head.data(), head.size()}, {picture_.picture().data(), h.pictureSize}});
}

}  // namespace capture
