// gifgen: draws the 23 animations of Perix Chat and writes them as animated GIF files, each also at
// twice the size as "NN@2x.gif" for high-density screens, with their resource list animations.qrc,
// into the given assets folder (default: ./assets). Every file is read back and compared frame by
// frame with what was meant to be written.
//
//   gifgen [assets-folder] [--preview sheet.png]
#include "animations.h"
#include "gifencoder.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QTextStream>

#include <cstdio>

namespace {

// `scale` 2 draws the frame for high-density screens: the same drawing on twice as many pixels.
QImage renderFrame(const Animation &a, int frame, int scale)
{
    QImage image(a.size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    // One design unit is one device pixel at scale 1, whatever the animation's size.
    Canvas canvas{painter, 32 * scale};
    a.draw(canvas, frame);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// Reads the file back as the program will and compares every pixel with the quantized frames.
bool verify(const QByteArray &gif, const Animation &a, QSize size, const IndexedFrames &expected)
{
    QBuffer buffer;
    buffer.setData(gif);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    if (reader.loopCount() != -1) {
        std::fprintf(stderr, "%s: loop count %d\n", qPrintable(a.name), reader.loopCount());
        return false;
    }
    for (int f = 0; f < int(a.delaysCs.size()); ++f) {
        const QImage read = reader.read().convertToFormat(QImage::Format_ARGB32);
        const QImage want = indexedImage(expected, f, size.width(), size.height());
        if (read.size() != want.size()) {
            std::fprintf(stderr, "%s: frame %d unreadable\n", qPrintable(a.name), f);
            return false;
        }
        for (int y = 0; y < want.height(); ++y) {
            for (int x = 0; x < want.width(); ++x) {
                const QRgb r = read.pixel(x, y), w = want.pixel(x, y);
                if (qAlpha(r) != qAlpha(w) || (qAlpha(w) != 0 && r != w)) {
                    std::fprintf(stderr, "%s: frame %d differs at %d,%d\n", qPrintable(a.name), f, x, y);
                    return false;
                }
            }
        }
        if (reader.nextImageDelay() != a.delaysCs[std::size_t(f)] * 10) {
            std::fprintf(stderr, "%s: frame %d delay %d\n", qPrintable(a.name), f, reader.nextImageDelay());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QString root = QStringLiteral("assets");
    QString preview;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--preview") && i + 1 < args.size())
            preview = args[++i];
        else
            root = args[i];
    }
    const QDir dir(root);
    dir.mkpath(QStringLiteral("animations"));
    const std::vector<Animation> all = animations();
    QStringList files;
    bool ok = true;
    QList<QList<QImage>> sheet;
    for (std::size_t n = 0; n < all.size(); ++n) {
        const Animation &a = all[n];
        for (int scale : {1, 2}) {
            QList<GifFrame> frames;
            QList<QImage> images;
            for (int f = 0; f < int(a.delaysCs.size()); ++f) {
                images.append(renderFrame(a, f, scale));
                frames.append({images.last(), a.delaysCs[std::size_t(f)]});
            }
            if (scale == 1)
                sheet.append(images);
            const QByteArray gif = encodeGif(frames);
            if (!verify(gif, a, a.size * scale, quantize(frames, GifOptions()))) {
                ok = false;
                continue;
            }
            const QString relative = QStringLiteral("animations/%1%2.gif")
                                         .arg(int(n), 2, 10, QChar(u'0'))
                                         .arg(scale == 1 ? QString() : QStringLiteral("@2x"));
            QFile file(dir.filePath(relative));
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(gif) != gif.size()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
                ok = false;
                continue;
            }
            files << relative;
            std::printf("%2d %-14s %3dx%-3d %d frames %5lld bytes\n", int(n), qPrintable(a.name),
                        a.size.width() * scale, a.size.height() * scale, int(a.delaysCs.size()),
                        static_cast<long long>(gif.size()));
        }
    }

    QFile qrc(dir.filePath(QStringLiteral("animations.qrc")));
    if (qrc.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        QTextStream out(&qrc);
        out << "<!DOCTYPE RCC>\n";
        out << "<!-- Written by tools/gifgen; run it again instead of editing this list. -->\n";
        out << "<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
        for (const QString &f : std::as_const(files))
            out << "    <file>" << f << "</file>\n";
        out << "</qresource>\n</RCC>\n";
    } else {
        ok = false;
    }

    if (!preview.isEmpty()) {
        // Every frame of every animation, three times enlarged, one animation per row, in two sheets.
        const int scale = 3, column = 66 * scale, row = 32 * scale;
        for (int part = 0; part < 2; ++part) {
            const qsizetype first = part * 12, last = std::min<qsizetype>(sheet.size(), first + 12);
            QImage image(column * 8, row * int(last - first), QImage::Format_ARGB32);
            image.fill(QColor(0xf0, 0xf0, 0xf0));
            QPainter p(&image);
            for (qsizetype r = first; r < last; ++r) {
                for (qsizetype f = 0; f < sheet[r].size(); ++f) {
                    const QImage &frame = sheet[r][f];
                    p.drawImage(QRect(int(f) * column + 4, int(r - first) * row + 4, frame.width() * scale,
                                      frame.height() * scale),
                                frame);
                }
            }
            p.end();
            QString name = preview;
            name.insert(name.lastIndexOf(u'.'), QString::number(part + 1));
            image.save(name);
        }
    }
    return ok ? 0 : 1;
}
