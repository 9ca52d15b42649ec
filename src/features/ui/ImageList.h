#pragma once

#include <QIcon>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QSize>
#include <QString>

// A list of pictures of one size, addressed by index like the program's image lists.
class ImageList {
public:
    ImageList() = default;

    // Loads "<resourcePrefix>/00.png" .. "NN.png" (numbers of that many digits). A picture that cannot be
    // read keeps its slot as a transparent image, so the indexes that peers send stay meaningful.
    static ImageList load(const QString &resourcePrefix, int count, QSize size, int digits = 2);

    int count() const { return int(m_images.size()); }
    QSize size() const { return m_size; }
    // Null when the index is out of range.
    QImage image(int index) const;
    // Null without a running QGuiApplication.
    QPixmap pixmap(int index) const;
    QIcon icon(int index) const;

private:
    QSize m_size;
    QList<QImage> m_images;
};

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
QIcon ToolbarIcon(const QString &name, int size);
