// picturegen: draws all pictures of Perix Chat and writes them, together with the resource list
// pictures.qrc, into the given assets folder (default: ./assets).
#include "catalog.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QSvgGenerator>
#include <QTextStream>

#include <cstdio>

namespace {

// Writes the drawing as an SVG file on a view box of `size` units, drawn as for that many pixels.
bool renderScalable(const Drawing &draw, int size, const QString &path, const QString &title)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(size, size));
    svg.setViewBox(QRect(0, 0, size, size));
    svg.setTitle(title);
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    Canvas canvas{painter, size};
    draw(canvas);
    if (!painter.end())
        return false;
    // The generator writes the painter's font into every group; the icon has no text, and an empty
    // family with size -1 only makes renderers complain. Icon themes expect the size in pixels.
    QString text = QString::fromUtf8(buffer.data());
    text.remove(QRegularExpression(QStringLiteral("\\s+font-(family|size|weight|style)=\"[^\"]*\"")));
    text.replace(QRegularExpression(QStringLiteral("<svg width=\"[^\"]*\" height=\"[^\"]*\"")),
                 QStringLiteral("<svg width=\"%1\" height=\"%1\"").arg(size));
    QFile file(path);
    const QByteArray bytes = text.toUtf8();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

class Writer {
public:
    explicit Writer(const QString &root)
        : root_(root)
    {}

    // Writes one picture; `listed` pictures go into the resource list.
    bool write(const Drawing &draw, int size, const QString &relative, bool listed = true)
    {
        const QString path = root_.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!render(draw, size).save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
        if (listed) {
            files_ << relative;
        }
        return true;
    }

    bool writeResourceList(const QString &name) const
    {
        QFile file(root_.filePath(name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return false;
        }
        QTextStream out(&file);
        out << "<!DOCTYPE RCC>\n";
        out << "<!-- Written by tools/picturegen; run it again instead of editing this list. -->\n";
        out << "<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
        for (const QString &f : files_) {
            out << "    <file>" << f << "</file>\n";
        }
        out << "</qresource>\n</RCC>\n";
        return true;
    }

    // Writes one picture of the program and, beside it as "name@2x.png", the same drawing at twice the
    // size for high-density screens.
    bool writeWithDouble(const Drawing &draw, int size, const QString &relative)
    {
        QString doubled = relative;
        doubled.insert(doubled.lastIndexOf(u'.'), QStringLiteral("@2x"));
        const bool single = write(draw, size, relative);
        return write(draw, size * 2, doubled) && single;
    }

    bool writeScalable(const Drawing &draw, int size, const QString &relative, const QString &title)
    {
        const QString path = root_.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!renderScalable(draw, size, path, title)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
        return true;
    }

    qsizetype count() const { return files_.size(); }

private:
    QDir root_;
    QStringList files_;
};

} // namespace

int main(int argc, char **argv)
{
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("assets");
    Writer out(root);
    bool ok = true;

    const auto profiles = profilePictures();
    const auto moods = moodPictures();
    for (const Picture &pic : profiles) {
        ok &= out.writeWithDouble(pic.draw, 32, "pictures/32/" + pic.name + ".png");
    }
    for (const Picture &pic : moods) {
        ok &= out.writeWithDouble(pic.draw, 32, "pictures/32/" + pic.name + ".png");
    }
    for (const Picture &pic : profiles) {
        ok &= out.writeWithDouble(pic.draw, 16, "pictures/16/" + pic.name + ".png");
    }
    ok &= out.writeWithDouble(drawSelectPicture, 32, "pictures/selectpicture.png");

    for (const Picture &icon : toolbarIcons()) {
        ok &= out.writeWithDouble(icon.draw, 32, "icons/32/" + icon.name + ".png");
        ok &= out.writeWithDouble(icon.draw, 16, "icons/16/" + icon.name + ".png");
    }
    for (const Picture &icon : pageIcons()) {
        ok &= out.writeWithDouble(icon.draw, 32, "icons/pages/32/" + icon.name + ".png");
        ok &= out.writeWithDouble(icon.draw, 16, "icons/pages/16/" + icon.name + ".png");
    }
    for (int frame = 0; frame < 4; ++frame) {
        const Drawing draw = [frame](Canvas &c) {
            drawTrayFrame(c, frame);
        };
        ok &= out.writeWithDouble(draw, 16, QStringLiteral("tray/%1.png").arg(frame));
        ok &= out.writeWithDouble(draw, 32, QStringLiteral("tray/32/%1.png").arg(frame));
    }
    for (int size : {256, 64, 32, 16}) {
        ok &= out.writeWithDouble(drawProgramIcon, size, QStringLiteral("app/perixchat-%1.png").arg(size));
    }
    // For icon themes; the program itself uses the pictures above.
    ok &= out.writeScalable(drawProgramIcon, 256, "app/perixchat.svg", QStringLiteral("Perix Chat"));

    // The help file shows some of the pictures next to the commands it describes.
    const QStringList helpIcons{
        "auto-reply",       "clear-message", "close-talk", "collapse",    "create-group", "deactivate",
        "delete-group",     "file",          "help",       "history",     "language",     "mail",
        "insert-animation", "insert-image",  "my-profile", "options",     "rename-group", "not-talk-private",
        "not-talk-group",   "send",          "sound",      "stay-on-top", "talk",         "talk-user",
        "user-list"};
    for (const Picture &icon : toolbarIcons()) {
        if (helpIcons.contains(icon.name)) {
            ok &= out.write(icon.draw, 32, "help/images/" + icon.name + ".png", false);
        }
    }
    for (const Picture &icon : pageIcons()) {
        ok &= out.write(icon.draw, 32, "help/images/page-" + icon.name + ".png", false);
    }
    for (const Picture &pic : profiles) {
        const int number = pic.name.toInt();
        if ((number >= 1 && number <= 3) || number >= 11) {
            ok &= out.write(pic.draw, 32, "help/images/picture-" + pic.name + ".png", false);
        }
    }
    ok &= out.write(drawProgramIcon, 64, "help/images/perixchat.png", false);
    for (int frame : {0, 2}) {
        const Drawing draw = [frame](Canvas &c) {
            drawTrayFrame(c, frame);
        };
        ok &= out.write(draw, 32, QStringLiteral("help/images/tray-%1.png").arg(frame), false);
    }

    ok &= out.writeResourceList("pictures.qrc");
    std::printf("%lld pictures listed in %s/pictures.qrc\n", static_cast<long long>(out.count()),
                qPrintable(root));
    return ok ? 0 : 1;
}
