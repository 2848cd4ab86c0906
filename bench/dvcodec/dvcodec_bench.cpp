// Speed of libzeb_dv32 against ffmpeg's DV decoder and encoder, single thread, in the
// same run on the same frames: decoding at full size (native and square-pixel widths)
// and at the reduced sizes (against our own full size, and ffmpeg's low-resolution
// decoding), and encoding.
//
// The frames are made by the ffmpeg program at start (clean test pictures and noise,
// 525/60 from yuv411p and 625/50 from yuv420p). Both decoders turn each frame into a
// bottom-up 24-bit BGR bitmap: ours with DvcDecode, the peer with libavcodec's dvvideo
// decoder (one thread) followed by libswscale. Prints frames per second (the median of
// several runs) and the ratio ours / peer.
//
//   dvcodec_bench [--frames N] [--runs N] [--seconds S] [--work DIR] [--reduced]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "zeb_dv32.h"

namespace fs = std::filesystem;

namespace {

struct Options {
  int frames = 30;
  int runs = 9;
  double seconds = 0.25;
  fs::path work;
  bool reducedOnly = false;
};

struct Clip {
  std::string name;
  int system;
  std::string source;
  std::vector<std::string> frames;
};

int linesOf(int system) { return system == 625 ? 576 : 480; }
size_t strideOf(int width) { return (size_t(width) * 3 + 3) / 4 * 4; }

bool makeClip(Clip& clip, const Options& opt) {
  const fs::path out = opt.work / (clip.name + ".dv");
  const std::string size = clip.system == 625 ? "720x576" : "720x480";
  const std::string rate = clip.system == 625 ? "25" : "30000/1001";
  const std::string cmd = "ffmpeg -v error -y -f lavfi -i '" + clip.source + "=size=" + size + ":rate=" + rate +
                          (clip.name.find("noise") != std::string::npos ? ",noise=alls=40:allf=t" : "") +
                          "' -frames:v " + std::to_string(opt.frames) + " -pix_fmt " +
                          (clip.system == 625 ? "yuv420p" : "yuv411p") + " -c:v dvvideo -an -f dv '" +
                          out.string() + "'";
  if (std::system(cmd.c_str()) != 0) return false;
  std::ifstream in(out, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string all = ss.str();
  const size_t n = size_t(clip.system == 625 ? 12 : 10) * 12000;
  for (size_t at = 0; at + n <= all.size(); at += n) clip.frames.push_back(all.substr(at, n));
  return !clip.frames.empty();
}

// Runs each decoder over the frames for about opt.seconds per run, the decoders taking
// turns run by run so that both see the same conditions of a busy machine; returns the
// median frames per second of each.
std::vector<double> measure(const Options& opt, size_t frameCount,
                            const std::vector<std::function<void(size_t)>>& decoders) {
  for (const auto& decodeOne : decoders)
    for (size_t i = 0; i < frameCount; ++i) decodeOne(i);  // warm up
  std::vector<std::vector<double>> rates(decoders.size());
  for (int run = 0; run < opt.runs; ++run) {
    for (size_t k = 0; k < decoders.size(); ++k) {
      size_t done = 0;
      const auto start = std::chrono::steady_clock::now();
      double elapsed = 0;
      do {
        decoders[k](done % frameCount);
        ++done;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      } while (elapsed < opt.seconds);
      rates[k].push_back(double(done) / elapsed);
    }
  }
  std::vector<double> medians;
  for (auto& r : rates) {
    std::sort(r.begin(), r.end());
    medians.push_back(r[r.size() / 2]);
  }
  return medians;
}

// ffmpeg's decoder and converter, one thread.
class Peer {
 public:
  Peer() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
    ctx_ = avcodec_alloc_context3(codec);
    ctx_->thread_count = 1;
    ctx_->thread_type = 0;
    if (avcodec_open2(ctx_, codec, nullptr) < 0) std::abort();
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
  }
  ~Peer() {
    sws_freeContext(sws_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&ctx_);
  }
  // Decodes at 1 / 2^lowres of the size (a new context for each value).
  void setLowres(int lowres) {
    if (lowres == lowres_) return;
    avcodec_free_context(&ctx_);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
    ctx_ = avcodec_alloc_context3(codec);
    ctx_->thread_count = 1;
    ctx_->thread_type = 0;
    ctx_->lowres = lowres;
    if (avcodec_open2(ctx_, codec, nullptr) < 0) std::abort();
    lowres_ = lowres;
  }
  // Decodes one frame; with a destination, converts it to bottom-up BGR of that width.
  void decode(const std::string& data, uint8_t* bgr, int width, int height) {
    packet_->data = reinterpret_cast<uint8_t*>(const_cast<char*>(data.data()));
    packet_->size = int(data.size());
    if (avcodec_send_packet(ctx_, packet_) < 0 || avcodec_receive_frame(ctx_, frame_) < 0) std::abort();
    if (bgr) {
      sws_ = sws_getCachedContext(sws_, frame_->width, frame_->height, AVPixelFormat(frame_->format), width, height,
                                  AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
      const int stride = int(strideOf(width));
      uint8_t* dst[4] = {bgr + size_t(stride) * (height - 1), nullptr, nullptr, nullptr};
      int dstStride[4] = {-stride, 0, 0, 0};
      sws_scale(sws_, frame_->data, frame_->linesize, 0, frame_->height, dst, dstStride);
    }
    av_frame_unref(frame_);
  }

 private:
  AVCodecContext* ctx_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* sws_ = nullptr;
  int lowres_ = 0;
};

// ffmpeg's DV encoder from 24-bit BGR (its own conversion to the system's sampling, then
// the encoder), one thread.
class PeerEncoder {
 public:
  explicit PeerEncoder(int system) : height_(linesOf(system)) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_DVVIDEO);
    ctx_ = avcodec_alloc_context3(codec);
    ctx_->width = 720;
    ctx_->height = height_;
    ctx_->pix_fmt = system == 625 ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV411P;
    ctx_->time_base = system == 625 ? AVRational{1, 25} : AVRational{1001, 30000};
    ctx_->thread_count = 1;
    ctx_->thread_type = 0;
    if (avcodec_open2(ctx_, codec, nullptr) < 0) std::abort();
    frame_ = av_frame_alloc();
    frame_->format = ctx_->pix_fmt;
    frame_->width = 720;
    frame_->height = height_;
    if (av_frame_get_buffer(frame_, 0) < 0) std::abort();
    packet_ = av_packet_alloc();
    sws_ = sws_getContext(720, height_, AV_PIX_FMT_BGR24, 720, height_, ctx_->pix_fmt, SWS_BILINEAR, nullptr, nullptr,
                          nullptr);
  }
  ~PeerEncoder() {
    sws_freeContext(sws_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&ctx_);
  }
  void encode(const uint8_t* bgr) {
    const uint8_t* src[4] = {bgr, nullptr, nullptr, nullptr};
    const int srcStride[4] = {720 * 3, 0, 0, 0};
    if (av_frame_make_writable(frame_) < 0) std::abort();
    sws_scale(sws_, src, srcStride, 0, height_, frame_->data, frame_->linesize);
    frame_->pts = pts_++;
    if (avcodec_send_frame(ctx_, frame_) < 0 || avcodec_receive_packet(ctx_, packet_) < 0) std::abort();
    av_packet_unref(packet_);
  }

 private:
  int height_;
  int64_t pts_ = 0;
  AVCodecContext* ctx_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* sws_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--frames" && i + 1 < argc) opt.frames = std::atoi(argv[++i]);
    else if (a == "--runs" && i + 1 < argc) opt.runs = std::atoi(argv[++i]);
    else if (a == "--seconds" && i + 1 < argc) opt.seconds = std::atof(argv[++i]);
    else if (a == "--work" && i + 1 < argc) opt.work = argv[++i];
    else if (a == "--reduced") opt.reducedOnly = true;
    else {
      std::fprintf(stderr, "usage: %s [--frames N] [--runs N] [--seconds S] [--work DIR] [--reduced]\n", argv[0]);
      return 2;
    }
  }
  bool ownWork = false;
  if (opt.work.empty()) {
    char pattern[] = "/tmp/dvcodec-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    opt.work = pattern;
    ownWork = true;
  }

  std::vector<Clip> clips = {{"525-noise", 525, "testsrc2", {}},
                             {"525-clean", 525, "testsrc2", {}},
                             {"625-noise", 625, "testsrc2", {}},
                             {"625-clean", 625, "testsrc2", {}}};
  for (Clip& c : clips) {
    if (!makeClip(c, opt)) {
      std::fprintf(stderr, "could not make the frames of %s with ffmpeg\n", c.name.c_str());
      return 1;
    }
  }

  const bool fullTable = !opt.reducedOnly;
  if (fullTable) std::printf("Full-size DV decoding to 24-bit BGR, one thread, %d frames per clip, median of %d runs\n", opt.frames,
              opt.runs);
  if (fullTable) std::printf("%-10s %-6s %12s %14s %14s %8s\n", "clip", "width", "ours fps", "ffmpeg fps", "ffmpeg dec fps",
              "ratio");
  for (const Clip& c : clips) {
    if (!fullTable) break;
    const int height = linesOf(c.system);
    const int square = c.system == 625 ? 768 : 640;
    for (int width : {720, square}) {
      std::vector<uint8_t> ours(strideOf(width) * height), theirs(strideOf(width) * height);
      DvDecoder* d = DvcOpenDecoder(c.system == 625 ? 1 : 0);
      Peer peer;
      const std::vector<double> fps = measure(
          opt, c.frames.size(),
          {[&](size_t i) {
             DvcDibFormat f = {uint32_t(width), uint32_t(height), 1, 24, 1, 1, 0, 0, 0, width == 720 ? 0u : 2u,
                               DVC_FORM_FRAME};
             uint8_t* src = reinterpret_cast<uint8_t*>(const_cast<char*>(c.frames[i].data()));
             if (DvcDecode(d, src, uint32_t(c.frames[i].size()), ours.data(), nullptr, &f) != 0) std::abort();
           },
           [&](size_t i) { peer.decode(c.frames[i], theirs.data(), width, height); },
           [&](size_t i) { peer.decode(c.frames[i], nullptr, width, height); }});
      DvcCloseDecoder(d);
      std::printf("%-10s %-6d %12.0f %14.0f %14.0f %8.2f\n", c.name.c_str(), width, fps[0], fps[1], fps[2],
                  fps[0] / fps[1]);
      std::fflush(stdout);
    }
  }
  std::printf("\nReduced sizes (native widths): frames per second, the ratio to our own full size, and ffmpeg's\n"
              "low-resolution decoding with its conversion to BGR\n");
  std::printf("%-10s %-8s %10s %10s %12s %8s\n", "clip", "size", "ours fps", "ours/full", "ffmpeg fps", "ratio");
  for (const Clip& c : clips) {
    const int lines = linesOf(c.system);
    std::vector<double> fullFps;
    for (int level = 0; level < 4; ++level) {
      const int width = 720 >> level, height = lines >> level;
      std::vector<uint8_t> ours(strideOf(720) * lines), theirs(strideOf(720) * lines);
      DvDecoder* d = DvcOpenDecoder(c.system == 625 ? 1 : 0);
      Peer peer;
      peer.setLowres(level);
      const std::vector<double> fps = measure(
          opt, c.frames.size(),
          {[&](size_t i) {
             DvcDibFormat f = {uint32_t(width), uint32_t(height), 1, 24, 1, 1, 0, 0, 0, 0, DVC_FORM_FRAME};
             uint8_t* src = reinterpret_cast<uint8_t*>(const_cast<char*>(c.frames[i].data()));
             if (DvcDecode(d, src, uint32_t(c.frames[i].size()), ours.data(), nullptr, &f) != 0) std::abort();
           },
           [&](size_t i) { peer.decode(c.frames[i], theirs.data(), width, height); }});
      DvcCloseDecoder(d);
      if (level == 0) fullFps.push_back(fps[0]);
      static const char* const kNames[4] = {"full", "half", "quarter", "eighth"};
      std::printf("%-10s %-8s %10.0f %10.2f %12.0f %8.2f\n", c.name.c_str(), kNames[level], fps[0], fps[0] / fullFps[0],
                  fps[1], fps[0] / fps[1]);
      std::fflush(stdout);
    }
  }
  std::printf("\nEncoding 720-wide 24-bit BGR pictures (the clips' frames as decoded) into DV frames, one thread\n");
  std::printf("%-10s %12s %14s %8s\n", "clip", "ours fps", "ffmpeg fps", "ratio");
  for (const Clip& c : clips) {
    const int height = linesOf(c.system), n = c.system == 625 ? 12 : 10;
    // The pictures, top row first as the encoders take them.
    std::vector<std::vector<uint8_t>> pictures;
    DvDecoder* d = DvcOpenDecoder(c.system == 625 ? 1 : 0);
    for (const std::string& frame : c.frames) {
      std::vector<uint8_t> bottomUp(strideOf(720) * height), topDown(bottomUp.size());
      DvcDibFormat f = {720, uint32_t(height), 1, 24, 1, 1, 0, 0, 0, 0, DVC_FORM_FRAME};
      std::string copy = frame;
      if (DvcDecode(d, reinterpret_cast<uint8_t*>(copy.data()), uint32_t(copy.size()), bottomUp.data(), nullptr, &f) != 0) {
        std::abort();
      }
      for (int r = 0; r < height; ++r) {
        std::memcpy(&topDown[strideOf(720) * r], &bottomUp[strideOf(720) * (height - 1 - r)], strideOf(720));
      }
      pictures.push_back(topDown);
    }
    DvcCloseDecoder(d);
    // Our output: a DVF image framed by the clip's first frame.
    std::vector<uint8_t> dvf(32 + size_t(n) * 11920);
    for (int s = 0; s < n; ++s) std::memcpy(&dvf[32 + 11920 * size_t(s)], c.frames[0].data() + 12000 * size_t(s) + 80, 11920);
    DvEncoder* e = DvcOpenEncoder(c.system == 625 ? 1 : 0);
    PeerEncoder peer(c.system);
    const std::vector<double> fps = measure(
        opt, pictures.size(),
        {[&](size_t i) {
           DvcDibFormat f = {720, uint32_t(height), 1, 24, 1, 1, 0, 720 * 3, 0, 0, 0};
           if (DvcEncode(e, dvf.data(), pictures[i].data(), &f) != 0) std::abort();
         },
         [&](size_t i) { peer.encode(pictures[i].data()); }});
    DvcCloseEncoder(e);
    std::printf("%-10s %12.0f %14.0f %8.2f\n", c.name.c_str(), fps[0], fps[1], fps[0] / fps[1]);
    std::fflush(stdout);
  }
  if (ownWork) fs::remove_all(opt.work);
  return 0;
}
