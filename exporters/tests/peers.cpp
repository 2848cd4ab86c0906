#include "peers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

#include <gtest/gtest.h>

#include "platform/testsupport/testsupport.h"

namespace extest {

QJsonObject probe(const fs::path& avi) {
  std::string out, err;
  EXPECT_EQ(adtest::runProgram({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                "stream=codec_name,codec_tag_string,width,height,pix_fmt,r_frame_rate,time_base,"
                                "nb_frames,nb_read_frames:format=duration",
                                "-of", "json", avi.string()},
                               &out, &err),
            0)
      << err;
  return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
}

// The packets' flags, one string a packet ("K_" for a key frame).
std::vector<std::string> packetFlags(const fs::path& avi) {
  std::string out;
  EXPECT_EQ(adtest::runProgram({"ffprobe", "-v", "error", "-show_entries", "packet=flags", "-of", "csv=p=0", avi.string()},
                               &out),
            0);
  std::vector<std::string> flags;
  for (size_t pos = 0, end; (end = out.find('\n', pos)) != std::string::npos; pos = end + 1) {
    flags.push_back(out.substr(pos, end - pos));
  }
  return flags;
}

// Every frame decoded by ffmpeg as RGB, top row first.
std::vector<Frame> decode(const fs::path& avi, int width, int height) {
  std::string out, err;
  EXPECT_EQ(adtest::runProgram({"ffmpeg", "-v", "error", "-i", avi.string(), "-f", "rawvideo", "-pix_fmt", "rgb24",
                                "-fps_mode", "passthrough", "-"},
                               &out, &err),
            0)
      << err;
  std::vector<Frame> frames;
  const size_t bytes = size_t(width) * height * 3;
  for (size_t pos = 0; pos + bytes <= out.size(); pos += bytes) {
    Frame f{width, height, {}};
    for (size_t i = 0; i < bytes; i += 3) {
      f.pixels.push_back({uint8_t(out[pos + i]), uint8_t(out[pos + i + 1]), uint8_t(out[pos + i + 2])});
    }
    frames.push_back(std::move(f));
  }
  EXPECT_EQ(out.size() % bytes, 0u);
  return frames;
}

double psnr(const Frame& a, const Frame& b) {
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    for (auto [x, y] : {std::pair{a.pixels[i].r, b.pixels[i].r}, {a.pixels[i].g, b.pixels[i].g},
                        {a.pixels[i].b, b.pixels[i].b}}) {
      sum += double(x - y) * (x - y);
    }
  }
  double mse = sum / (3.0 * a.pixels.size());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

namespace {
std::string str(const QJsonValue& v) { return v.toString().toStdString(); }
}  // namespace

bool crawl(const fs::path& index, std::map<std::string, CrawledPage>& pages, std::vector<std::string>& broken) {
  std::string out, err;
  if (adtest::runProgram({kPython, AD_CRAWLER, index.string()}, &out, &err) != 0) {
    ADD_FAILURE() << err;
    return false;
  }
  QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
  for (const QJsonValue& b : doc["broken"].toArray()) broken.push_back(str(b));
  for (const QJsonValue& v : doc["pages"].toArray()) {
    QJsonObject p = v.toObject();
    CrawledPage& page = pages[str(p["path"])];
    page.title = str(p["title"]);
    page.heading = str(p["heading"]);
    page.scripts = p["scripts"].toInt();
    for (const QJsonValue& l : p["links"].toArray()) {
      page.links.emplace_back(str(l.toObject()["text"]), str(l.toObject()["path"]));
    }
    for (const QJsonValue& i : p["images"].toArray()) page.images.push_back(str(i));
  }
  return true;
}

}  // namespace extest
