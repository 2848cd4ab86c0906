// Draws the program's pictures:
//   <source>/workspace/images/   icons (32 x 32), tab pages (150 x 240), the bar's lower
//                                and right edges, and the thumbnail shadow (PNG)
//   <source>/app/data/icons/     the program's icon for the desktop's icon theme, the
//                                album drawn at 16 to 256 pixels (albumdesk-<size>.png)
//   <source>/app/data/           wro10_e.dat and wro10_j.dat, the splash pictures
//                                (430 x 210, 8-bit run-length coded BMP), and
//                                wro10_m.dat, the splash clip (242 x 95, 11 frames,
//                                an AVI file of 8-bit run-length coded frames)
// Usage: ad_make_assets <source folder>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void putCc(Bytes& b, const char* cc) { b.insert(b.end(), cc, cc + 4); }

bool writeFile(const QString& path, const Bytes& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
         static_cast<qint64>(bytes.size());
}

// ---- colours -----------------------------------------------------------------------------

const QColor kNight(0x1d, 0x35, 0x57);
const QColor kSea(0x2f, 0x6e, 0x9e);
const QColor kSky(0x8c, 0xc4, 0xe8);
const QColor kSun(0xf2, 0xb1, 0x34);
const QColor kLeaf(0x4f, 0x9d, 0x5b);
const QColor kRose(0xd9, 0x5b, 0x5b);
const QColor kPaper(0xfa, 0xf7, 0xf0);
const QColor kInk(0x33, 0x33, 0x33);
const QColor kSlot(0x26, 0x44, 0x6a);
const QColor kSlotEdge(0x5a, 0x78, 0x9a);

// A palette of 256 colours for the 8-bit pictures: the colours above, a 6 x 6 x 6 cube
// and greys.
QList<QRgb> palette() {
  QList<QRgb> p;
  for (const QColor& c : {kNight, kSea, kSky, kSun, kLeaf, kRose, kPaper, kInk, kSlot, kSlotEdge}) p << c.rgb();
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) p << qRgb(r * 51, g * 51, b * 51);
  while (p.size() < 256) {
    const int v = (p.size() - 226) * 255 / 29;
    p << qRgb(v, v, v);
  }
  return p;
}

QImage indexed(const QImage& img) {
  return img.convertToFormat(QImage::Format_Indexed8, palette(), Qt::ThresholdDither | Qt::AvoidDither);
}

// ---- 8-bit run-length coding (bottom-up rows) --------------------------------------------

Bytes rle8(const QImage& img) {
  Bytes out;
  const int w = img.width(), h = img.height();
  for (int y = h - 1; y >= 0; --y) {
    const uint8_t* row = img.constScanLine(y);
    int x = 0;
    while (x < w) {
      int run = 1;
      while (x + run < w && run < 255 && row[x + run] == row[x]) ++run;
      if (run >= 3 || x + run >= w) {
        out.push_back(static_cast<uint8_t>(run));
        out.push_back(row[x]);
        x += run;
        continue;
      }
      // A literal stretch up to the next run of three.
      int n = 0;
      while (x + n < w && n < 255) {
        if (x + n + 2 < w && row[x + n] == row[x + n + 1] && row[x + n] == row[x + n + 2]) break;
        ++n;
      }
      if (n < 3) {
        for (int i = 0; i < n; ++i) {
          out.push_back(1);
          out.push_back(row[x + i]);
        }
      } else {
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), row + x, row + x + n);
        if (n & 1) out.push_back(0);
      }
      x += n;
    }
    out.push_back(0);
    out.push_back(y == 0 ? 1 : 0);  // end of the line, or of the picture
  }
  return out;
}

Bytes bitmapInfo(const QImage& img, uint32_t imageSize) {
  Bytes b;
  put32(b, 40);
  put32(b, static_cast<uint32_t>(img.width()));
  put32(b, static_cast<uint32_t>(img.height()));
  put16(b, 1);
  put16(b, 8);
  put32(b, 1);  // BI_RLE8
  put32(b, imageSize);
  put32(b, 2835);
  put32(b, 2835);
  put32(b, 256);
  put32(b, 0);
  for (QRgb c : img.colorTable()) {
    b.push_back(static_cast<uint8_t>(qBlue(c)));
    b.push_back(static_cast<uint8_t>(qGreen(c)));
    b.push_back(static_cast<uint8_t>(qRed(c)));
    b.push_back(0);
  }
  return b;
}

Bytes bmpFile(const QImage& img8) {
  const Bytes data = rle8(img8);
  const Bytes info = bitmapInfo(img8, static_cast<uint32_t>(data.size()));
  Bytes b;
  b.push_back('B');
  b.push_back('M');
  put32(b, static_cast<uint32_t>(14 + info.size() + data.size()));
  put32(b, 0);
  put32(b, static_cast<uint32_t>(14 + info.size()));
  b.insert(b.end(), info.begin(), info.end());
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes aviFile(const std::vector<QImage>& frames8, int framesPerSecond) {
  const QImage& first = frames8.front();
  std::vector<Bytes> chunks;
  uint32_t largest = 0;
  for (const QImage& f : frames8) {
    chunks.push_back(rle8(f));
    largest = std::max<uint32_t>(largest, static_cast<uint32_t>(chunks.back().size()));
  }
  const auto w = static_cast<uint32_t>(first.width()), h = static_cast<uint32_t>(first.height());
  const auto count = static_cast<uint32_t>(frames8.size());

  Bytes avih;
  put32(avih, 1000000u / static_cast<uint32_t>(framesPerSecond));
  put32(avih, largest * static_cast<uint32_t>(framesPerSecond));
  put32(avih, 0);
  put32(avih, 0x10);  // has an index
  put32(avih, count);
  put32(avih, 0);
  put32(avih, 1);
  put32(avih, largest);
  put32(avih, w);
  put32(avih, h);
  for (int i = 0; i < 4; ++i) put32(avih, 0);

  Bytes strh;
  putCc(strh, "vids");
  putCc(strh, "mrle");
  put32(strh, 0);
  put32(strh, 0);
  put32(strh, 1);                                         // scale
  put32(strh, static_cast<uint32_t>(framesPerSecond));   // rate
  put32(strh, 0);
  put32(strh, count);
  put32(strh, largest);
  put32(strh, 0xFFFFFFFF);
  put32(strh, 0);
  put16(strh, 0);
  put16(strh, 0);
  put16(strh, static_cast<uint32_t>(w));
  put16(strh, static_cast<uint32_t>(h));
  const Bytes strf = bitmapInfo(first, w * h);

  auto chunk = [](Bytes& out, const char* id, const Bytes& body) {
    putCc(out, id);
    put32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
  };
  auto list = [](Bytes& out, const char* type, const Bytes& body) {
    putCc(out, "LIST");
    put32(out, static_cast<uint32_t>(body.size() + 4));
    putCc(out, type);
    out.insert(out.end(), body.begin(), body.end());
  };

  Bytes strl;
  chunk(strl, "strh", strh);
  chunk(strl, "strf", strf);
  Bytes hdrl;
  chunk(hdrl, "avih", avih);
  list(hdrl, "strl", strl);

  Bytes movi, idx1;
  for (const Bytes& c : chunks) {
    putCc(idx1, "00dc");
    put32(idx1, 0x10);                                        // a key frame
    put32(idx1, static_cast<uint32_t>(movi.size() + 4));     // from the list type "movi"
    put32(idx1, static_cast<uint32_t>(c.size()));
    chunk(movi, "00dc", c);
  }

  Bytes body;
  putCc(body, "AVI ");
  list(body, "hdrl", hdrl);
  list(body, "movi", movi);
  chunk(body, "idx1", idx1);
  Bytes riff;
  putCc(riff, "RIFF");
  put32(riff, static_cast<uint32_t>(body.size()));
  riff.insert(riff.end(), body.begin(), body.end());
  return riff;
}

// ---- drawings ------------------------------------------------------------------------------

QFont font(const QString& family, int pixels, bool bold) {
  QFont f(family);
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

QImage canvas(int w, int h, QColor fill = Qt::transparent) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(fill);
  return img;
}

using Draw = std::function<void(QPainter&)>;

// The drawings are made on a 32 x 32 grid; other sizes scale it.
QImage icon(const Draw& draw, int size = 32) {
  QImage img = canvas(size, size);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  p.setPen(QPen(kInk, 1.2));
  draw(p);
  return img;
}

void picture(QPainter& p, QRectF r) {
  p.setBrush(kSky);
  p.drawRect(r);
  p.setBrush(kSun);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(r.right() - r.width() * 0.28, r.top() + r.height() * 0.3), r.width() * 0.12, r.width() * 0.12);
  QPainterPath hills;
  hills.moveTo(r.left(), r.bottom());
  hills.lineTo(r.left() + r.width() * 0.35, r.top() + r.height() * 0.45);
  hills.lineTo(r.left() + r.width() * 0.6, r.top() + r.height() * 0.75);
  hills.lineTo(r.left() + r.width() * 0.75, r.top() + r.height() * 0.6);
  hills.lineTo(r.right(), r.bottom());
  hills.closeSubpath();
  p.setBrush(kLeaf);
  p.drawPath(hills);
  p.setPen(QPen(kInk, 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(r);
}

void album(QPainter& p) {
  p.setBrush(kSea);
  p.drawRoundedRect(QRectF(5, 3, 22, 26), 2, 2);
  p.setBrush(kPaper);
  p.drawRect(QRectF(9, 7, 15, 18));
  picture(p, QRectF(11, 10, 11, 8));
  p.setPen(QPen(kNight, 2));
  p.drawLine(QPointF(7, 4), QPointF(7, 28));
}

void image(QPainter& p) {
  p.setBrush(kPaper);
  p.drawRect(QRectF(3, 6, 26, 21));
  picture(p, QRectF(6, 9, 20, 15));
}

void camcorder(QPainter& p) {
  p.setBrush(QColor(0x55, 0x5a, 0x63));
  p.drawRoundedRect(QRectF(3, 10, 19, 14), 3, 3);
  QPolygonF lens({QPointF(22, 14), QPointF(29, 10), QPointF(29, 24), QPointF(22, 20)});
  p.setBrush(kNight);
  p.drawPolygon(lens);
  p.setBrush(kRose);
  p.drawEllipse(QPointF(7, 14), 1.6, 1.6);
  p.setBrush(kSky);
  p.drawRect(QRectF(9, 5, 9, 5));
}

void mail(QPainter& p) {
  p.setBrush(kPaper);
  p.drawRect(QRectF(3, 8, 26, 17));
  p.drawLine(QPointF(3, 8), QPointF(16, 18));
  p.drawLine(QPointF(29, 8), QPointF(16, 18));
  p.setBrush(kRose);
  p.drawRect(QRectF(23, 10, 4, 4));
}

void multi(QPainter& p) {
  p.setBrush(kPaper);
  p.drawRect(QRectF(3, 3, 26, 26));
  for (int i = 0; i < 4; ++i) picture(p, QRectF(5.5 + (i % 2) * 11.5, 5.5 + (i / 2) * 11.5, 9.5, 9.5));
}

void html(QPainter& p) {
  p.setBrush(kPaper);
  p.drawRect(QRectF(5, 3, 22, 26));
  p.setBrush(kSky);
  p.drawEllipse(QPointF(16, 16), 8, 8);
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(16, 16), 3.5, 8);
  p.drawLine(QPointF(8, 16), QPointF(24, 16));
}

void movie(QPainter& p) {
  p.setBrush(QColor(0x2b, 0x2b, 0x2b));
  p.drawRect(QRectF(3, 6, 26, 20));
  p.setPen(Qt::NoPen);
  p.setBrush(kPaper);
  for (int i = 0; i < 6; ++i) {
    p.drawRect(QRectF(5 + i * 4, 7.5, 2, 2));
    p.drawRect(QRectF(5 + i * 4, 22.5, 2, 2));
  }
  p.setBrush(kSun);
  p.drawRect(QRectF(6, 11, 9, 10));
  p.setBrush(kSky);
  p.drawRect(QRectF(17, 11, 9, 10));
}

void format(QPainter& p) {
  p.setBrush(kPaper);
  p.drawRect(QRectF(2, 4, 13, 17));
  p.drawRect(QRectF(17, 11, 13, 17));
  p.setBrush(kSea);
  QPolygonF arrow({QPointF(9, 24), QPointF(13, 28), QPointF(9, 32), QPointF(9, 30), QPointF(5, 30),
                   QPointF(5, 26), QPointF(9, 26)});
  p.translate(0, -3);
  p.drawPolygon(arrow);
  p.translate(0, 3);
  p.setPen(QPen(kSea, 2));
  p.drawLine(QPointF(6, 9), QPointF(11, 9));
  p.drawLine(QPointF(21, 17), QPointF(26, 17));
}

void title(QPainter& p) {
  p.setBrush(QColor(0x55, 0x5a, 0x63));
  p.drawRoundedRect(QRectF(5, 4, 22, 25), 2, 2);
  p.setBrush(kSun);
  p.drawRect(QRectF(10, 4, 12, 6));
  p.setFont(font(QStringLiteral("DejaVu Sans"), 14, true));
  p.setPen(kPaper);
  p.drawText(QRectF(5, 11, 22, 17), Qt::AlignCenter, QStringLiteral("T"));
}

// A tab page of the icon bar: two tabs in the top 60 rows, one of them chosen, and
// the top of the page below.
QImage tabPage(bool importChosen) {
  QImage img = canvas(150, 240, Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor back(0xdd, 0xe3, 0xea), edge(0x8a, 0x96, 0xa3);
  p.fillRect(QRect(0, 0, 150, 60), back);
  auto tab = [&](int left, bool chosen) {
    QPainterPath path;
    const QRectF r(left + 3, chosen ? 18 : 24, 69, 60);
    path.addRoundedRect(r, 7, 7);
    p.setPen(QPen(edge, 1));
    p.setBrush(chosen ? QColor(Qt::white) : QColor(0xc4, 0xcd, 0xd7));
    p.drawPath(path);
  };
  tab(importChosen ? 75 : 0, false);
  tab(importChosen ? 0 : 75, true);
  p.setPen(Qt::NoPen);
  p.fillRect(QRect(0, 60, 150, 180), Qt::white);
  p.setPen(QPen(edge, 1));
  const int chosenLeft = importChosen ? 3 : 78;
  p.drawLine(QPointF(0, 60.5), QPointF(chosenLeft, 60.5));
  p.drawLine(QPointF(chosenLeft + 69, 60.5), QPointF(150, 60.5));
  p.fillRect(QRect(146, 61, 4, 179), QColor(0xe4, 0xe8, 0xed));
  p.drawLine(QPointF(145.5, 61), QPointF(145.5, 240));
  return img;
}

QImage pageRight() {
  QImage img = canvas(4, 1, QColor(0xe4, 0xe8, 0xed));
  img.setPixelColor(0, 0, QColor(0x8a, 0x96, 0xa3));
  return img;
}

QImage pageBottom() {
  QImage img = canvas(150, 12, Qt::white);
  QPainter p(&img);
  const QColor edge(0x8a, 0x96, 0xa3);
  p.fillRect(QRect(146, 0, 4, 12), QColor(0xe4, 0xe8, 0xed));
  p.fillRect(QRect(0, 8, 150, 4), QColor(0xe4, 0xe8, 0xed));
  p.setPen(edge);
  p.drawLine(145, 0, 145, 7);
  p.drawLine(0, 7, 145, 7);
  return img;
}

QImage shadow() {
  QImage img = canvas(105, 80);
  QPainter p(&img);
  for (int i = 0; i < 4; ++i) {
    p.fillRect(QRect(i, i, 105 - 2 * i, 80 - 2 * i), QColor(0x60, 0x60, 0x60, 40 + 30 * i));
  }
  return img;
}

// The thumbnails that fill the album in the clip and on the splash picture.
void clipFrame(QPainter& p, int shown) {
  const QColor colours[] = {kSea, kSun, kLeaf, kRose, kSky, kSun, kRose, kLeaf, kSky, kSea};
  for (int i = 0; i < 10; ++i) {
    const QRectF r(8 + (i % 5) * 46.5, 9 + (i / 5) * 43, 40, 32);
    p.setPen(QPen(kSlotEdge, 1));
    p.setBrush(kSlot);
    if (i >= shown) {
      p.drawRect(r);
      continue;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    p.drawRect(r);
    QRectF in = r.adjusted(3, 3, -3, -3);
    p.setBrush(colours[i]);
    p.drawRect(in);
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(in.right() - 7, in.top() + 7), 3, 3);
    QPolygonF hill({in.bottomLeft(), QPointF(in.left() + in.width() * 0.4, in.top() + in.height() * 0.45),
                    in.bottomRight()});
    p.setBrush(kNight);
    p.drawPolygon(hill);
  }
}

QImage clip(int shown) {
  QImage img = canvas(242, 95, kNight);
  QPainter p(&img);
  clipFrame(p, shown);
  return indexed(img);
}

QImage splash(bool japanese) {
  QImage img = canvas(430, 210, kNight);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  // The clip plays over the lower left part; the picture there is its first frame.
  p.save();
  p.translate(6, 96);
  clipFrame(p, 0);
  p.restore();
  // The hot spot that plays the clip again: a small camcorder.
  p.save();
  p.translate(49, 61);
  camcorder(p);
  p.restore();
  p.setPen(kSun);
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(46.5, 58.5, 36, 36));

  p.setFont(font(QStringLiteral("DejaVu Sans"), 40, true));
  p.setPen(kPaper);
  p.drawText(QRect(110, 14, 310, 50), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("albumdesk"));
  p.setFont(font(japanese ? QStringLiteral("Noto Sans CJK JP") : QStringLiteral("DejaVu Sans"), 15, false));
  p.setPen(kSky);
  const QString line = japanese ? QString::fromUtf8("静止画のアルバムと DV フレーム")
                                : QStringLiteral("Still pictures, albums and DV frames");
  p.drawText(QRect(110, 62, 310, 24), Qt::AlignRight | Qt::AlignVCenter, line);
  p.setPen(QPen(kSun, 3));
  p.drawLine(QPointF(260, 92), QPointF(420, 92));
  return indexed(img);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <source folder>\n", argv[0]);
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  const QString images = root + "/workspace/images/";
  const QString data = root + "/app/data/";
  QDir().mkpath(data + "icons");
  bool ok = true;
  auto png = [&](const QImage& img, const QString& name) { ok = img.save(images + name, "PNG") && ok; };

  const Draw importIcons[] = {album, image, camcorder};
  const Draw exportIcons[] = {album, image, mail, multi, html, movie, format, title};
  for (int i = 0; i < 3; ++i) png(icon(importIcons[i]), QString("imp%1.png").arg(i));
  for (int i = 0; i < 8; ++i) png(icon(exportIcons[i]), QString("exp%1.png").arg(i));
  png(tabPage(true), "page0.png");
  png(tabPage(false), "page1.png");
  png(pageRight(), "pageR.png");
  png(pageBottom(), "pageU.png");
  png(shadow(), "shadow.png");
  // The sizes of the desktop's icon theme folders (share/icons/hicolor/<size>x<size>/apps).
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QImage appIcon = icon(album, size);
    ok = appIcon.save(data + QString("icons/albumdesk-%1.png").arg(size), "PNG") && ok;
  }

  ok = writeFile(data + "wro10_e.dat", bmpFile(splash(false))) && ok;
  ok = writeFile(data + "wro10_j.dat", bmpFile(splash(true))) && ok;
  std::vector<QImage> frames;
  for (int i = 0; i <= 10; ++i) frames.push_back(clip(i));
  ok = writeFile(data + "wro10_m.dat", aviFile(frames, 8)) && ok;
  if (!ok) std::fprintf(stderr, "could not write every picture\n");
  return ok ? 0 : 1;
}
