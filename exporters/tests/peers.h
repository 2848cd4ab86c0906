// Outside tools over what the exporters write: ffprobe's account of a movie, its frames
// decoded by ffmpeg, and an HTML album crawled from its index page by an outside parser
// (crawl_album.py on the system's Python) that resolves links as a browser does.
#pragma once

#include <QJsonObject>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "frames.h"

namespace extest {

// ffprobe's streams (codec, tag, size, pixel format, frame rate, time base, frame counts)
// and format (duration) of a movie, as JSON.
QJsonObject probe(const fs::path& avi);
// The packets' flags, one string a packet ("K_" for a key frame).
std::vector<std::string> packetFlags(const fs::path& avi);
// Every frame decoded by ffmpeg as RGB, top row first.
std::vector<Frame> decode(const fs::path& avi, int width, int height);
// Peak signal-to-noise ratio of two frames of one size in dB (99 when equal).
double psnr(const Frame& a, const Frame& b);

constexpr const char* kPython = "/usr/bin/python3";

struct CrawledPage {
  std::string title, heading;
  int scripts = 0;
  std::vector<std::pair<std::string, std::string>> links;  // text, path
  std::vector<std::string> images;
};
// Crawls the album from its index page: the pages found by their path relative to the
// index's folder, and every broken link or picture. False (the test failed) when the
// crawler did not run.
bool crawl(const fs::path& index, std::map<std::string, CrawledPage>& pages, std::vector<std::string>& broken);

}  // namespace extest
