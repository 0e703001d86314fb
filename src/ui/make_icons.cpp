// SPDX-License-Identifier: Apache-2.0
// quillmont-make-icons DIR: writes icon 128 as quillmont-128.png, quillmont-32.png and
// quillmont-16.png into DIR (the 128-pixel one is the desktop entry's icon on Linux), and the 32
// and 16 pixel images together as quillmont.ico, the Windows program's icon resource.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <vector>

#include "ui/app_icon.h"

namespace {

void PutLe16(QByteArray& out, int value) {
  out.append(static_cast<char>(value & 0xFF));
  out.append(static_cast<char>((value >> 8) & 0xFF));
}

void PutLe32(QByteArray& out, quint32 value) {
  PutLe16(out, static_cast<int>(value & 0xFFFF));
  PutLe16(out, static_cast<int>(value >> 16));
}

// One icon image as Windows keeps it: a BITMAPINFOHEADER of twice the height, the 32-bit BGRA
// pixels bottom-up, then the 1-bit AND mask (set where the pixel is fully transparent), each of
// its rows padded to 32 bits.
QByteArray IconImage(const QImage& drawn) {
  const QImage image = drawn.convertToFormat(QImage::Format_ARGB32);
  const int size = image.width();
  const int mask_row = ((size + 31) / 32) * 4;
  QByteArray out;
  PutLe32(out, 40);
  PutLe32(out, static_cast<quint32>(size));
  PutLe32(out, static_cast<quint32>(size * 2));
  PutLe16(out, 1);   // planes
  PutLe16(out, 32);  // bits per pixel
  PutLe32(out, 0);   // BI_RGB
  PutLe32(out, static_cast<quint32>(size * size * 4 + mask_row * size));
  for (int i = 0; i < 4; ++i)
    PutLe32(out, 0);  // resolution and palette: unused
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const QRgb pixel = image.pixel(x, y);
      out.append(static_cast<char>(qBlue(pixel)));
      out.append(static_cast<char>(qGreen(pixel)));
      out.append(static_cast<char>(qRed(pixel)));
      out.append(static_cast<char>(qAlpha(pixel)));
    }
  }
  for (int y = size - 1; y >= 0; --y) {
    QByteArray row(mask_row, '\0');
    for (int x = 0; x < size; ++x) {
      if (qAlpha(image.pixel(x, y)) == 0)
        row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    }
    out.append(row);
  }
  return out;
}

// An .ico file: its header, one directory entry per image, then the images.
QByteArray IconFile(const std::vector<int>& sizes) {
  std::vector<QByteArray> images;
  for (int size : sizes)
    images.push_back(IconImage(quillmont::ui::DrawAppIcon(size)));
  QByteArray out;
  PutLe16(out, 0);
  PutLe16(out, 1);  // an icon, not a cursor
  PutLe16(out, static_cast<int>(images.size()));
  quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    out.append(static_cast<char>(sizes[i]));
    out.append(static_cast<char>(sizes[i]));
    out.append('\0');  // no palette
    out.append('\0');
    PutLe16(out, 1);
    PutLe16(out, 32);
    PutLe32(out, static_cast<quint32>(images[i].size()));
    PutLe32(out, offset);
    offset += static_cast<quint32>(images[i].size());
  }
  for (const QByteArray& image : images)
    out.append(image);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillmont-make-icons DIR\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  for (int size : {128, 32, 16}) {
    const QString path = dir.filePath(QStringLiteral("quillmont-%1.png").arg(size));
    if (!quillmont::ui::DrawAppIcon(size).save(path, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  QFile ico(dir.filePath(QStringLiteral("quillmont.ico")));
  if (!ico.open(QIODevice::WriteOnly) || ico.write(IconFile({32, 16})) < 0) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(ico.fileName()));
    return 1;
  }
  return 0;
}
