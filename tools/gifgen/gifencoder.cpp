#include "gifencoder.h"

#include <QHash>

#include <algorithm>
#include <array>

namespace {

constexpr int MaxColours = 255; // and one transparent index

QRgb opaqueColour(QRgb pixel, const GifOptions &options, bool *transparent)
{
    const int a = qAlpha(pixel);
    *transparent = a < options.alphaThreshold;
    if (*transparent || a == 255)
        return qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
    const auto blend = [a](int c, int m) {
        return (c * a + m * (255 - a) + 127) / 255;
    };
    return qRgb(blend(qRed(pixel), options.matte.red()), blend(qGreen(pixel), options.matte.green()),
                blend(qBlue(pixel), options.matte.blue()));
}

struct Entry {
    QRgb colour;
    int count;
};

int channel(QRgb c, int which)
{
    return which == 0 ? qRed(c) : which == 1 ? qGreen(c) : qBlue(c);
}

// Median cut: split the box with the widest channel range at the weighted median until there are
// enough boxes; each box becomes the weighted mean of its colours.
QVector<QRgb> medianCut(std::vector<Entry> entries, int colours)
{
    struct Box {
        std::size_t begin, end;
    };
    std::vector<Box> boxes{{0, entries.size()}};
    const auto range = [&](const Box &b, int *widest) {
        int best = -1;
        for (int ch = 0; ch < 3; ++ch) {
            int lo = 255, hi = 0;
            for (std::size_t i = b.begin; i < b.end; ++i) {
                lo = std::min(lo, channel(entries[i].colour, ch));
                hi = std::max(hi, channel(entries[i].colour, ch));
            }
            if (hi - lo > best) {
                best = hi - lo;
                *widest = ch;
            }
        }
        return best;
    };
    while (int(boxes.size()) < colours) {
        int pick = -1, pickRange = 0, pickChannel = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            int ch = 0;
            const int r = boxes[i].end - boxes[i].begin > 1 ? range(boxes[i], &ch) : 0;
            if (r > pickRange) {
                pick = int(i);
                pickRange = r;
                pickChannel = ch;
            }
        }
        if (pick < 0)
            break;
        Box box = boxes[std::size_t(pick)];
        std::sort(entries.begin() + long(box.begin), entries.begin() + long(box.end),
                  [pickChannel](const Entry &l, const Entry &r) {
                      return channel(l.colour, pickChannel) < channel(r.colour, pickChannel);
                  });
        long total = 0;
        for (std::size_t i = box.begin; i < box.end; ++i)
            total += entries[i].count;
        long seen = 0;
        std::size_t cut = box.begin + 1;
        for (std::size_t i = box.begin; i < box.end - 1; ++i) {
            seen += entries[i].count;
            cut = i + 1;
            if (seen * 2 >= total)
                break;
        }
        boxes[std::size_t(pick)] = {box.begin, cut};
        boxes.push_back({cut, box.end});
    }
    QVector<QRgb> palette;
    for (const Box &b : boxes) {
        double r = 0, g = 0, bl = 0, n = 0;
        for (std::size_t i = b.begin; i < b.end; ++i) {
            r += qRed(entries[i].colour) * double(entries[i].count);
            g += qGreen(entries[i].colour) * double(entries[i].count);
            bl += qBlue(entries[i].colour) * double(entries[i].count);
            n += entries[i].count;
        }
        palette.append(qRgb(int(r / n + 0.5), int(g / n + 0.5), int(bl / n + 0.5)));
    }
    return palette;
}

int nearest(const QVector<QRgb> &palette, QRgb colour)
{
    int best = 1;
    int bestDistance = INT_MAX;
    for (int i = 1; i < palette.size(); ++i) {
        const int dr = qRed(palette[i]) - qRed(colour);
        const int dg = qGreen(palette[i]) - qGreen(colour);
        const int db = qBlue(palette[i]) - qBlue(colour);
        const int d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

class BitWriter {
public:
    void write(int code, int bits)
    {
        m_buffer |= quint32(code) << m_count;
        m_count += bits;
        while (m_count >= 8) {
            m_bytes.append(char(m_buffer & 0xff));
            m_buffer >>= 8;
            m_count -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_count > 0)
            m_bytes.append(char(m_buffer & 0xff));
        m_buffer = 0;
        m_count = 0;
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    quint32 m_buffer = 0;
    int m_count = 0;
};

void put16(QByteArray &out, int value)
{
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

} // namespace

IndexedFrames quantize(const QList<GifFrame> &frames, const GifOptions &options)
{
    QHash<QRgb, int> histogram;
    for (const GifFrame &f : frames) {
        const QImage image = f.image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                bool transparent = false;
                const QRgb c = opaqueColour(line[x], options, &transparent);
                if (!transparent)
                    ++histogram[c];
            }
        }
    }
    std::vector<Entry> entries;
    for (auto it = histogram.cbegin(); it != histogram.cend(); ++it)
        entries.push_back({it.key(), it.value()});
    // The hash's order changes from run to run; the palette must not.
    std::sort(entries.begin(), entries.end(),
              [](const Entry &l, const Entry &r) { return l.colour < r.colour; });
    IndexedFrames result;
    result.palette.append(options.matte.rgb());
    if (int(entries.size()) <= MaxColours) {
        for (const Entry &e : entries)
            result.palette.append(e.colour);
    } else {
        result.palette += medianCut(entries, MaxColours);
    }
    QHash<QRgb, int> lookup;
    for (const GifFrame &f : frames) {
        const QImage image = f.image.convertToFormat(QImage::Format_ARGB32);
        QByteArray indexes;
        indexes.reserve(image.width() * image.height());
        for (int y = 0; y < image.height(); ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                bool transparent = false;
                const QRgb c = opaqueColour(line[x], options, &transparent);
                if (transparent) {
                    indexes.append(char(0));
                    continue;
                }
                auto found = lookup.find(c);
                if (found == lookup.end())
                    found = lookup.insert(c, nearest(result.palette, c));
                indexes.append(char(found.value()));
            }
        }
        result.pixels.append(indexes);
    }
    return result;
}

QByteArray lzwCompress(const QByteArray &indexes, int minimumCodeSize)
{
    const int clear = 1 << minimumCodeSize;
    const int end = clear + 1;
    BitWriter out;
    int codeSize = minimumCodeSize + 1;
    int next = clear + 2;
    QHash<quint32, int> table;
    out.write(clear, codeSize);
    if (indexes.isEmpty()) {
        out.write(end, codeSize);
        return out.finish();
    }
    int prefix = quint8(indexes[0]);
    for (qsizetype i = 1; i < indexes.size(); ++i) {
        const int k = quint8(indexes[i]);
        const quint32 key = (quint32(prefix) << 8) | quint32(k);
        const auto found = table.constFind(key);
        if (found != table.constEnd()) {
            prefix = found.value();
            continue;
        }
        out.write(prefix, codeSize);
        table.insert(key, next++);
        if (next > (1 << codeSize) && codeSize < 12)
            ++codeSize;
        if (next == 4096) {
            // The table is full: start over, as the decoder will.
            out.write(clear, codeSize);
            table.clear();
            codeSize = minimumCodeSize + 1;
            next = clear + 2;
        }
        prefix = k;
    }
    out.write(prefix, codeSize);
    out.write(end, codeSize);
    return out.finish();
}

QByteArray encodeGif(const QList<GifFrame> &frames, const GifOptions &options)
{
    if (frames.isEmpty())
        return {};
    const int width = frames.first().image.width();
    const int height = frames.first().image.height();
    const IndexedFrames indexed = quantize(frames, options);

    QByteArray out("GIF89a");
    put16(out, width);
    put16(out, height);
    // Global colour table of 256 entries, 8 bits of colour resolution.
    out.append(char(0x80 | (7 << 4) | 7));
    out.append(char(0)); // background: the transparent index
    out.append(char(0));
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < indexed.palette.size() ? indexed.palette[i] : qRgb(0, 0, 0);
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    out.append("\x21\xff\x0bNETSCAPE2.0\x03\x01", 16);
    put16(out, options.loopCount);
    out.append(char(0));

    for (qsizetype f = 0; f < frames.size(); ++f) {
        // Graphic control: restore to background after the frame, index 0 transparent.
        out.append("\x21\xf9\x04", 3);
        out.append(char((2 << 2) | 1));
        put16(out, frames[f].delayCs);
        out.append(char(0));
        out.append(char(0));
        out.append(char(0x2c));
        put16(out, 0);
        put16(out, 0);
        put16(out, width);
        put16(out, height);
        out.append(char(0));
        out.append(char(8));
        const QByteArray data = lzwCompress(indexed.pixels[f], 8);
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const qsizetype n = std::min<qsizetype>(255, data.size() - at);
            out.append(char(n));
            out.append(data.mid(at, n));
        }
        out.append(char(0));
    }
    out.append(char(0x3b));
    return out;
}

QImage indexedImage(const IndexedFrames &indexed, int frame, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    const QByteArray &pixels = indexed.pixels[frame];
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int i = quint8(pixels[y * width + x]);
            image.setPixel(x, y, i == 0 ? qRgba(0, 0, 0, 0) : indexed.palette[i]);
        }
    }
    return image;
}
