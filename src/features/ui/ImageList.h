#pragma once

#include <QIcon>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <vector>

// A list of pictures of one size, addressed by index like the program's image lists. Each picture
// may have a twin drawn at twice the size for high-density screens ("NN@2x.png").
class ImageList {
public:
    ImageList() = default;

    // Loads "<resourcePrefix>/00.png" .. "NN.png" (numbers of that many digits) and their "@2x" twins.
    // A picture that cannot be read keeps its slot as a transparent image, so the indexes that peers
    // send stay meaningful; a missing twin leaves the picture to be scaled up.
    static ImageList load(const QString &resourcePrefix, int count, QSize size, int digits = 2);

    int count() const { return int(m_images.size()); }
    QSize size() const { return m_size; }
    // The picture at its own size. Null when the index is out of range.
    QImage image(int index) const;
    // The twin at twice the size, with a device pixel ratio of 2; null when there is none.
    QImage doubleImage(int index) const;
    // For the screens' device pixel ratio: the twin where it is above 1. Null without a running
    // QGuiApplication.
    QPixmap pixmap(int index) const;
    // Both sizes, so that each screen gets the one drawn for it.
    QIcon icon(int index) const;

private:
    void decode(int index) const;

    QSize m_size;
    QString m_prefix;
    int m_digits = 2;
    mutable QList<QImage> m_images;
    mutable QList<QImage> m_doubles;
    mutable std::vector<bool> m_decoded;
};

// "dir/name.png" -> "dir/name@2x.png": where the picture drawn for high-density screens lies.
QString DoubleSizePath(const QString &path);
// The picture at `path` at `pixels`, premultiplied as painting wants it; null when it cannot be read.
QImage ReadPictureAt(const QString &path, QSize pixels);
// True when the screens ask for more pixels than the pictures' own size.
bool HighDensityScreens();

// Registers the program's compiled-in pictures, icons, tray frames and animations; safe to call often.
void InitPictureResources();

// ilProfilesImage: the 50 profile pictures, 32x32.
const ImageList &ProfileImages32();
// ilProfilesImage16x16: the 25 small profile pictures, 16x16.
const ImageList &ProfileImages16();

// ilTreeView and ilTreeView32: the profile window's page icons, index = page number.
const ImageList &ProfilePageImages16();
const ImageList &ProfilePageImages32();
// The "SELECTPICTURE" bitmap of the picture button while no picture is chosen, 32x32.
QImage SelectPictureImage();

// The toolbar picture "name" (e.g. "file", "folder") of size 16 or 32; null when there is none.
QImage ToolbarImage(const QString &name, int size);
// The picture of that size and its twin drawn at twice the size.
QIcon ToolbarIcon(const QString &name, int size);
// Every drawn size of the toolbar picture, so that small icons are not shrunk big ones.
QIcon ToolbarIconSet(const QString &name);

// The program's own icon in every drawn size, for windows and the About box.
QIcon ProgramIcon();
