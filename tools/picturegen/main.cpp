// picturegen: draws all pictures of Perix Chat and writes them, together with the resource list
// pictures.qrc, into the given assets folder (default: ./assets).
#include "catalog.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

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
        ok &= out.write(pic.draw, 32, "pictures/32/" + pic.name + ".png");
    }
    for (const Picture &pic : moods) {
        ok &= out.write(pic.draw, 32, "pictures/32/" + pic.name + ".png");
    }
    for (const Picture &pic : profiles) {
        ok &= out.write(pic.draw, 16, "pictures/16/" + pic.name + ".png");
    }
    ok &= out.write(drawSelectPicture, 32, "pictures/selectpicture.png");

    for (const Picture &icon : toolbarIcons()) {
        ok &= out.write(icon.draw, 32, "icons/32/" + icon.name + ".png");
        ok &= out.write(icon.draw, 16, "icons/16/" + icon.name + ".png");
    }
    for (const Picture &icon : pageIcons()) {
        ok &= out.write(icon.draw, 32, "icons/pages/32/" + icon.name + ".png");
        ok &= out.write(icon.draw, 16, "icons/pages/16/" + icon.name + ".png");
    }
    for (int frame = 0; frame < 4; ++frame) {
        const Drawing draw = [frame](Canvas &c) {
            drawTrayFrame(c, frame);
        };
        ok &= out.write(draw, 16, QStringLiteral("tray/%1.png").arg(frame));
        ok &= out.write(draw, 32, QStringLiteral("tray/32/%1.png").arg(frame));
    }
    for (int size : {256, 64, 32, 16}) {
        ok &= out.write(drawProgramIcon, size, QStringLiteral("app/perixchat-%1.png").arg(size));
    }

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
