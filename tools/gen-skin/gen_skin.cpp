// corvel-gen-skin OUTDIR: paints the client's skin images and writes them as PNG files.
// corvel-gen-skin --preview OUTDIR: writes mock-ups of the main window and the dialogs instead.
// The PNGs hold only the image chunks, so equal pixels always give equal bytes.

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageWriter>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "preview.h"
#include "skin_art.h"

namespace {

using corvel::skin_art::Picture;

std::uint32_t BigEndian32(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
         std::uint32_t{b[3]};
}

// Keeps the chunks that make up the picture and drops the rest (Qt adds the pixel density).
QByteArray KeepImageChunks(const QByteArray& png) {
  static constexpr std::string_view kKept[] = {"IHDR", "PLTE", "tRNS", "IDAT", "IEND"};
  QByteArray out = png.left(8);
  qsizetype at = 8;
  while (at + 12 <= png.size()) {
    const qsizetype length = BigEndian32(png.constData() + at);
    const qsizetype chunk = 12 + length;
    if (at + chunk > png.size()) break;
    const std::string_view type(png.constData() + at + 4, 4);
    for (std::string_view kept : kKept) {
      if (type == kept) out.append(png.mid(at, chunk));
    }
    at += chunk;
  }
  return out;
}

bool WritePng(const QImage& image, const QString& path) {
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(image)) return false;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  const QByteArray bytes = KeepImageChunks(encoded);
  return file.write(bytes) == bytes.size();
}

int Usage() {
  std::fprintf(stderr, "usage: corvel-gen-skin [--preview] OUTDIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool preview = false;
  const char* out = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--preview") == 0) {
      preview = true;
    } else if (out == nullptr) {
      out = argv[i];
    } else {
      return Usage();
    }
  }
  if (out == nullptr) return Usage();

  // Text needs a GUI application; the offscreen platform needs no display and renders fonts the
  // same way wherever it runs.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  // Without the fonts Qt would quietly substitute others and the text in the art would change.
  const QStringList families = QFontDatabase::families();
  for (const char* family : {"WenQuanYi Micro Hei", "Noto Sans CJK SC"}) {
    if (!families.contains(QString::fromLatin1(family))) {
      std::fprintf(stderr, "corvel-gen-skin: font family %s is not installed\n", family);
      return 1;
    }
  }

  const QString dir = QString::fromLocal8Bit(out);
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "corvel-gen-skin: cannot create %s\n", out);
    return 1;
  }
  const std::vector<Picture> skin = corvel::skin_art::RenderAll();
  const std::vector<Picture> pictures = preview ? corvel::skin_art::RenderPreviews(skin) : skin;
  for (const Picture& picture : pictures) {
    const QString path = QDir(dir).filePath(picture.name);
    if (!WritePng(picture.image, path)) {
      std::fprintf(stderr, "corvel-gen-skin: cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
