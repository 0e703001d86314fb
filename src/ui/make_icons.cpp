// quillmont-make-icons DIR: writes icon 128 as quillmont-128.png, quillmont-32.png and
// quillmont-16.png into DIR (the 128-pixel one is the desktop entry's icon on Linux).
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ui/app_icon.h"

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
  return 0;
}
