// Speed of libzeb_dv32 against ffmpeg's DV decoder and encoder (libavcodec and
// libswscale in this program), one thread, in the same run on the same frames: decoding at
// full size (native and square-pixel widths), with each picture filter (against the nearest
// de-interlacer of libavfilter, set to replace the same rows, its graph on one thread), at
// the reduced sizes (against ffmpeg's low-resolution decoding), and encoding. Before a
// filter row is timed, both sides' filtered pictures are checked against their unfiltered
// decode: a side that does not filter leaves the row out and the program fails.
//
// The frames are made by the ffmpeg program at start: clean and noisy test pictures, and
// interlaced motion coded with the 2-4-8 DCT (ffmpeg's encoder with interlaced DCT on
// woven fields of a moving picture; the frames are checked to carry such blocks); 525/60
// from yuv411p and 625/50 from yuv420p. Both decoders turn each frame into a bottom-up
// 24-bit BGR bitmap: ours with DvcDecode, the peer with libavcodec's dvvideo decoder
// followed by libswscale to the same size. The decode-only rows leave the conversion
// out: ours decodes into a 1 x 1 bitmap (the whole frame decoded into the decoder's
// picture, one pixel converted), the peer stops at the decoder's planes. Each row gives
// milliseconds a frame (the median of several runs, the two sides taking turns); the rows
// of full-size decoding at 720 wide, decoding only and encoding carry the codec's goals
// for its speed against the peer.
//
//   dvcodec_bench [--frames N] [--runs N] [--seconds S] [--work DIR] [--reduced | --goals]
//
// --reduced runs only the reduced sizes' rows, --goals only the rows with goals.
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
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "bench/bench_table.h"
#include "zeb_dv32.h"

namespace fs = std::filesystem;

namespace {

// The codec's goals: the largest ratio of our time to the peer's.
constexpr double kGoalDecode720 = 0.67;
constexpr double kGoalDecodeOnly = 0.8;
constexpr double kGoalEncode = 0.9;

struct Options {
  int frames = 30;
  int runs = 7;
  double seconds = 0.2;
  fs::path work;
  bool reducedOnly = false;
  bool goalsOnly = false;
};

struct Clip {
  std::string name;
  int system;
  std::string source;   // the lavfi source and its filters
  bool interlacedDct;   // encoded with the 2-4-8 DCT where the fields differ
  std::vector<std::string> frames;
  int blocks248 = 0;    // blocks of all frames coded with the 2-4-8 DCT
};

int linesOf(int system) { return system == 625 ? 576 : 480; }
size_t strideOf(int width) { return (size_t(width) * 3 + 3) / 4 * 4; }

// The blocks of a frame coded with the 2-4-8 DCT (the mode bit of each block's first word).
int count248Blocks(int system, const std::string& frame) {
  int count = 0;
  for (int s = 0; s < (system == 625 ? 12 : 10); ++s) {
    for (int k = 0; k < 135; ++k) {
      const size_t at = size_t(80) * (150 * s + 7 + k + k / 15);
      for (int area : {4, 18, 32, 46, 60, 70}) count += (uint8_t(frame[at + area + 1]) & 0x40) ? 1 : 0;
    }
  }
  return count;
}

bool makeClip(Clip& clip, const Options& opt) {
  const fs::path out = opt.work / (clip.name + ".dv");
  const std::string size = clip.system == 625 ? "720x576" : "720x480";
  const std::string rate = clip.system == 625 ? "25" : "30000/1001";
  const size_t filters = clip.source.find(',');
  const std::string input = clip.source.substr(0, filters) + "=size=" + size + ":rate=" + rate +
                            (filters == std::string::npos ? "" : clip.source.substr(filters));
  std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", input,
                                   "-frames:v", std::to_string(opt.frames), "-pix_fmt",
                                   clip.system == 625 ? "yuv420p" : "yuv411p"};
  if (clip.interlacedDct) argv.insert(argv.end(), {"-flags", "+ildct"});
  argv.insert(argv.end(), {"-threads", "1", "-c:v", "dvvideo", "-an", "-f", "dv", out.string()});
  if (bench::run(argv) != 0) return false;
  std::ifstream in(out, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string all = ss.str();
  const size_t n = size_t(clip.system == 625 ? 12 : 10) * 12000;
  for (size_t at = 0; at + n <= all.size(); at += n) {
    clip.frames.push_back(all.substr(at, n));
    clip.blocks248 += count248Blocks(clip.system, clip.frames.back());
  }
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

// ffmpeg's decoder, optionally followed by a libavfilter graph, and its converter; one
// thread each.
class Peer {
 public:
  // `filter` is a libavfilter graph run on every decoded frame (empty: none).
  explicit Peer(std::string filter = {}) : filter_(std::move(filter)) {
    open(0);
    frame_ = av_frame_alloc();
    filtered_ = av_frame_alloc();
    packet_ = av_packet_alloc();
  }
  ~Peer() {
    sws_freeContext(sws_);
    avfilter_graph_free(&graph_);
    av_packet_free(&packet_);
    av_frame_free(&filtered_);
    av_frame_free(&frame_);
    avcodec_free_context(&ctx_);
  }
  // Decodes at 1 / 2^lowres of the size (a new context for each value).
  void setLowres(int lowres) {
    if (lowres == lowres_) return;
    avcodec_free_context(&ctx_);
    open(lowres);
  }
  // Decodes one frame and runs it through the filter. Returns the picture that comes out,
  // held until the next call, or null while a filter that looks at the following frame
  // still holds the first one (each later frame then brings out the one before it).
  const AVFrame* next(const std::string& data) {
    av_frame_unref(frame_);
    av_frame_unref(filtered_);
    packet_->data = reinterpret_cast<uint8_t*>(const_cast<char*>(data.data()));
    packet_->size = int(data.size());
    if (avcodec_send_packet(ctx_, packet_) < 0 || avcodec_receive_frame(ctx_, frame_) < 0) std::abort();
    if (filter_.empty()) return frame_;
    if (!graph_) openGraph(*frame_);
    frame_->pts = pts_++;
    if (av_buffersrc_add_frame_flags(source_, frame_, 0) < 0) std::abort();
    const int got = av_buffersink_get_frame(sink_, filtered_);
    if (got == AVERROR(EAGAIN)) return nullptr;
    if (got < 0) std::abort();
    return filtered_;
  }
  // Converts a picture to bottom-up BGR of the given size.
  void convert(const AVFrame& picture, uint8_t* bgr, int width, int height) {
    sws_ = sws_getCachedContext(sws_, picture.width, picture.height, AVPixelFormat(picture.format), width, height,
                                AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    const int stride = int(strideOf(width));
    uint8_t* dst[4] = {bgr + size_t(stride) * (height - 1), nullptr, nullptr, nullptr};
    int dstStride[4] = {-stride, 0, 0, 0};
    sws_scale(sws_, picture.data, picture.linesize, 0, picture.height, dst, dstStride);
  }
  // Decodes (and filters) one frame; with a destination, converts what comes out to
  // bottom-up BGR of that size.
  void decode(const std::string& data, uint8_t* bgr, int width, int height) {
    const AVFrame* picture = next(data);
    if (picture && bgr) convert(*picture, bgr, width, height);
    av_frame_unref(frame_);
    av_frame_unref(filtered_);
  }
  // The filters of the graph other than those named (e.g. a format converter that
  // libavfilter put in), empty when there are none or no graph yet.
  std::string addedFilters() const {
    std::string added;
    for (unsigned i = 0; graph_ && i < graph_->nb_filters; ++i) {
      const AVFilterContext* f = graph_->filters[i];
      if (f != source_ && f != sink_ && filter_.find(f->filter->name) == std::string::npos) {
        added += std::string(added.empty() ? "" : ", ") + f->filter->name;
      }
    }
    return added;
  }

 private:
  void open(int lowres) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
    ctx_ = avcodec_alloc_context3(codec);
    ctx_->thread_count = 1;
    ctx_->thread_type = 0;
    ctx_->lowres = lowres;
    if (avcodec_open2(ctx_, codec, nullptr) < 0) std::abort();
    lowres_ = lowres;
  }
  // buffer -> the filter -> buffersink, made for the first frame's size and format.
  void openGraph(const AVFrame& first) {
    graph_ = avfilter_graph_alloc();
    if (!graph_) std::abort();
    graph_->nb_threads = 1;  // set before the first filter is made, which starts the graph's threads
    const AVRational sar = first.sample_aspect_ratio.num ? first.sample_aspect_ratio : AVRational{1, 1};
    const AVRational tb = ctx_->framerate.num ? av_inv_q(ctx_->framerate) : AVRational{1, 25};
    const std::string args = "video_size=" + std::to_string(first.width) + "x" + std::to_string(first.height) +
                             ":pix_fmt=" + std::to_string(first.format) + ":time_base=" + std::to_string(tb.num) +
                             "/" + std::to_string(tb.den) + ":pixel_aspect=" + std::to_string(sar.num) + "/" +
                             std::to_string(sar.den);
    const AVFilter *buffer = avfilter_get_by_name("buffer"), *buffersink = avfilter_get_by_name("buffersink");
    if (avfilter_graph_create_filter(&source_, buffer, "in", args.c_str(), nullptr, graph_) < 0 ||
        avfilter_graph_create_filter(&sink_, buffersink, "out", nullptr, nullptr, graph_) < 0) {
      std::abort();
    }
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source_;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink_;
    const int parsed = avfilter_graph_parse_ptr(graph_, filter_.c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (parsed < 0 || avfilter_graph_config(graph_, nullptr) < 0) {
      std::fprintf(stderr, "libavfilter cannot run \"%s\"\n", filter_.c_str());
      std::abort();
    }
  }

  std::string filter_;
  AVCodecContext* ctx_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVFrame* filtered_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* sws_ = nullptr;
  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  int64_t pts_ = 0;
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

// The peer of each of our picture filters: the nearest de-interlacer of libavfilter, set to
// replace the same rows as ours (top row first: the even rows are the top field).
struct FilterPeer {
  const char* ours;   // what our filter does
  const char* graph;  // the peer's filter graph
  const char* peer;   // what the peer's filter does
  int keptParity;     // the rows both keep: 0 the even ones, 1 the odd ones
};
const FilterPeer kFilterPeers[5] = {
    {},
    {"line averaging (the odd rows become the mean of the rows above and below)", "pp=li",
     "linear interpolating de-interlace (the odd rows become the mean of the rows above and below)", 0},
    {"motion-adaptive de-interlace keeping the even rows (motion measured between the frame's two fields; "
     "the moving pixels of the odd rows interpolated along edges)",
     "yadif=mode=send_frame:parity=tff:deint=all",
     "motion-adaptive de-interlace keeping the even rows (motion measured against the previous and next "
     "frames, the clip's frames fed in order; the moving pixels of the odd rows interpolated along edges)",
     0},
    {"motion-adaptive de-interlace keeping the odd rows (motion measured between the frame's two fields; "
     "the moving pixels of the even rows interpolated along edges)",
     "yadif=mode=send_frame:parity=bff:deint=all",
     "motion-adaptive de-interlace keeping the odd rows (motion measured against the previous and next "
     "frames, the clip's frames fed in order; the moving pixels of the even rows interpolated along edges)",
     1},
    {"edge-directed interpolation (the odd rows rebuilt by interpolating along edges)",
     "estdif=mode=frame:parity=tff:deint=all:rslope=1:redge=1:interp=2p",
     "edge slope tracing de-interlace (the odd rows rebuilt by two-point interpolation along the traced "
     "edges; slopes of -1 to 1 pixel matched over 3 pixels, the search nearest ours)",
     0},
};

// Pixels of two bottom-up BGR pictures of the same size that differ.
size_t differingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height) {
  size_t count = 0;
  for (int r = 0; r < height; ++r) {
    const uint8_t *p = &a[strideOf(width) * r], *q = &b[strideOf(width) * r];
    for (int x = 0; x < 3 * width; x += 3) count += (p[x] != q[x] || p[x + 1] != q[x + 1] || p[x + 2] != q[x + 2]);
  }
  return count;
}

// Checks that both sides of a filter row filter the clip, each against its own decode of
// the clip without a filter: our filter must change the pictures; the peer's must leave the
// luminance rows of the kept field as decoded and change those of the other field. Returns
// what is wrong ("" when nothing is) and sets the share of the pixels each side changed.
std::string checkFilterRow(const Clip& c, uint32_t mode, double* oursShare, double* peerShare) {
  const FilterPeer& fp = kFilterPeers[mode];
  const int width = 720, height = linesOf(c.system);
  std::vector<uint8_t> plainBgr(strideOf(width) * height), filteredBgr(plainBgr.size());
  size_t oursChanged = 0, peerChanged = 0;
  DvDecoder* d = DvcOpenDecoder(c.system == 625 ? 1 : 0);
  for (const std::string& frame : c.frames) {
    for (uint32_t m : {0u, mode}) {
      DvcDibFormat f = {uint32_t(width), uint32_t(height), 1, 24, 1, 1, 0, 0, m, 0, DVC_FORM_FRAME};
      std::string copy = frame;
      if (DvcDecode(d, reinterpret_cast<uint8_t*>(copy.data()), uint32_t(copy.size()),
                    (m ? filteredBgr : plainBgr).data(), nullptr, &f) != 0) {
        std::abort();
      }
    }
    oursChanged += differingPixels(plainBgr, filteredBgr, width, height);
  }
  DvcCloseDecoder(d);

  // The peer's filter gives out its pictures in the order of the frames, perhaps one frame
  // late: the k-th that comes out is frame k filtered.
  Peer plain, filtered(fp.graph);
  std::vector<AVFrame*> decoded;
  size_t outputs = 0, keptRowsChanged = 0, otherRowsChanged = 0;
  std::string problem;
  for (const std::string& frame : c.frames) {
    decoded.push_back(av_frame_clone(plain.next(frame)));
    const AVFrame* out = filtered.next(frame);
    if (!out) continue;
    const AVFrame& in = *decoded[outputs++];
    if (out->width != in.width || out->height != in.height || out->format != in.format) {
      problem = "the peer's filter changed the picture's size or pixel format";
      break;
    }
    for (int r = 0; r < in.height; ++r) {
      if (std::memcmp(in.data[0] + size_t(in.linesize[0]) * r, out->data[0] + size_t(out->linesize[0]) * r,
                      size_t(in.width)) != 0) {
        ++((r & 1) == fp.keptParity ? keptRowsChanged : otherRowsChanged);
      }
    }
    plain.convert(in, plainBgr.data(), width, height);
    filtered.convert(*out, filteredBgr.data(), width, height);
    peerChanged += differingPixels(plainBgr, filteredBgr, width, height);
  }
  for (AVFrame*& f : decoded) av_frame_free(&f);
  *oursShare = double(oursChanged) / (double(width) * height * c.frames.size());
  *peerShare = outputs ? double(peerChanged) / (double(width) * height * outputs) : 0;
  if (!problem.empty()) return problem;
  if (const std::string added = filtered.addedFilters(); !added.empty())
    return "libavfilter put " + added + " into the peer's graph";
  if (outputs == 0) return "the peer's filter gave out no picture";
  if (keptRowsChanged > 0)
    return "the peer's filter changed " + std::to_string(keptRowsChanged) + " rows of the field it should keep";
  if (otherRowsChanged == 0) return "the peer's filter left every picture as decoded";
  if (oursChanged == 0) return "our filter left every picture as decoded";
  return {};
}

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
    else if (a == "--goals") opt.goalsOnly = true;
    else {
      std::fprintf(stderr, "usage: %s [--frames N] [--runs N] [--seconds S] [--work DIR] [--reduced | --goals]\n", argv[0]);
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

  const std::string motion = "mandelbrot,scroll=h=0.03:v=0.01,tinterlace=mode=interleave_top";
  std::vector<Clip> clips = {{"525-noise", 525, "testsrc2,noise=alls=40:allf=t", false, {}},
                             {"525-clean", 525, "testsrc2", false, {}},
                             {"525-2-4-8", 525, motion, true, {}},
                             {"625-noise", 625, "testsrc2,noise=alls=40:allf=t", false, {}},
                             {"625-clean", 625, "testsrc2", false, {}},
                             {"625-2-4-8", 625, motion, true, {}}};
  for (Clip& c : clips) {
    if (!makeClip(c, opt)) {
      std::fprintf(stderr, "could not make the frames of %s with ffmpeg\n", c.name.c_str());
      return 1;
    }
    const int blocks = int(c.frames.size()) * (c.system == 625 ? 12 : 10) * 135 * 6;
    std::printf("%s: %zu frames, %d of %d blocks coded with the 2-4-8 DCT\n", c.name.c_str(), c.frames.size(),
                c.blocks248, blocks);
    if (c.interlacedDct && c.blocks248 < blocks / 20) {
      std::fprintf(stderr, "the frames of %s carry too few 2-4-8 blocks to measure them\n", c.name.c_str());
      return 1;
    }
  }
  bool failed = false;  // a row left out because a side did not do its work
  const auto msPerFrame = [](double fps) { return fps > 0 ? 1000 / fps : -1; };
  const std::string peerDecode = "libavcodec dvvideo decode (1 thread) + libswscale to the same BGR size";

  // Ours decodes at the size given, with the filter given; the peer decodes (at 1 / 2^lowres
  // of the size), runs its filter graph if one is given and converts to the same size
  // unless peerConverts is false. Returns our and the peer's ms a frame.
  const auto decodeRow = [&](const Clip& c, int width, int height, uint32_t filter, uint32_t resample, int lowres,
                            const std::string& peerFilter = {}, bool peerConverts = true) {
    std::vector<uint8_t> ours(strideOf(720) * 576 * 2), theirs(ours.size());
    DvDecoder* d = DvcOpenDecoder(c.system == 625 ? 1 : 0);
    Peer peer(peerFilter);
    peer.setLowres(lowres);
    const std::vector<double> fps = measure(
        opt, c.frames.size(),
        {[&](size_t i) {
           DvcDibFormat f = {uint32_t(width), uint32_t(height), 1, 24, 1, 1, 0, 0, filter, resample, DVC_FORM_FRAME};
           uint8_t* src = reinterpret_cast<uint8_t*>(const_cast<char*>(c.frames[i].data()));
           if (DvcDecode(d, src, uint32_t(c.frames[i].size()), ours.data(), nullptr, &f) != 0) std::abort();
         },
         [&](size_t i) { peer.decode(c.frames[i], peerConverts ? theirs.data() : nullptr, width, height); }});
    DvcCloseDecoder(d);
    return std::pair{msPerFrame(fps[0]), msPerFrame(fps[1])};
  };

  if (!opt.reducedOnly) {
    for (const Clip& c : clips) {
      const int height = linesOf(c.system), square = c.system == 625 ? 768 : 640;
      for (int width : {720, square}) {
        if (opt.goalsOnly && width != 720) continue;
        const auto [ours, peer] = decodeRow(c, width, height, 0, width == 720 ? 0 : 2, 0);
        bench::row("DV decode " + c.name + " to " + std::to_string(width) + "x" + std::to_string(height) + " BGR",
                   ours, peer,
                   width == 720 ? "DvcDecode, ms a frame" : "DvcDecode with filtered aspect resampling, ms a frame",
                   peerDecode, width == 720 ? kGoalDecode720 : 0);
      }
    }
    for (const Clip& c : clips) {
      const auto [ours, peer] = decodeRow(c, 1, 1, 0, 0, 0, {}, false);
      bench::row("DV decode only " + c.name, ours, peer,
                 "DvcDecode into a 1 x 1 bitmap (the whole frame decoded into the decoder's picture, one pixel "
                 "converted), ms a frame",
                 "libavcodec dvvideo decode (1 thread) to its planes", kGoalDecodeOnly);
    }
    for (const Clip& c : clips) {
      if (opt.goalsOnly || c.name.find("clean") != std::string::npos) continue;
      for (uint32_t mode = 1; mode <= 4; ++mode) {
        const FilterPeer& fp = kFilterPeers[mode];
        const std::string work = "DV decode " + c.name + ", filter " + std::to_string(mode);
        double oursShare = 0, peerShare = 0;
        if (const std::string problem = checkFilterRow(c, mode, &oursShare, &peerShare); !problem.empty()) {
          std::fprintf(stderr, "%s: %s; the row is left out\n", work.c_str(), problem.c_str());
          failed = true;
          continue;
        }
        std::printf("%s: the filter changes %.1f%% of our pixels, %.1f%% of the peer's\n", work.c_str(),
                    100 * oursShare, 100 * peerShare);
        const auto [ours, peer] = decodeRow(c, 720, linesOf(c.system), mode, 0, 0, fp.graph);
        bench::row(work, ours, peer, std::string("DvcDecode with ") + fp.ours + ", ms a frame",
                   std::string("libavcodec dvvideo decode (1 thread) + libavfilter ") + fp.graph + ", " + fp.peer +
                       " (graph on 1 thread) + libswscale to the same BGR size");
      }
    }
  }
  static const char* const kSizes[4] = {"full", "half", "quarter", "eighth"};
  for (const Clip& c : clips) {
    for (int level = 1; level < 4 && !opt.goalsOnly; ++level) {
      const int width = 720 >> level, height = linesOf(c.system) >> level;
      const auto [ours, peer] = decodeRow(c, width, height, 0, 0, level);
      bench::row("DV decode " + c.name + " at " + kSizes[level] + " size", ours, peer,
                 "DvcDecode's reduced decoding to " + std::to_string(width) + "x" + std::to_string(height) +
                     " BGR, ms a frame",
                 "libavcodec dvvideo lowres " + std::to_string(level) + " (1 thread) + libswscale to the same BGR");
    }
  }
  if (opt.reducedOnly) {
    if (ownWork) fs::remove_all(opt.work);
    return failed ? 1 : 0;
  }
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
    bench::row("DV encode " + c.name + " (720 BGR)", msPerFrame(fps[0]), msPerFrame(fps[1]),
               "DvcEncode of the decoded pictures, ms a frame",
               "libswscale to the system's sampling + libavcodec dvvideo encode (1 thread)", kGoalEncode);
  }
  if (ownWork) fs::remove_all(opt.work);
  return failed ? 1 : 0;
}
