#include "features/ui/SoundOutput.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

QStringList SoundModulePlaces()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    QStringList places{
        QDir::cleanPath(programDir + QStringLiteral("/") + QStringLiteral(PERIX_SOUND_MODULE_FROM_BINDIR))};
    // Only a program that runs from the build tree looks there, never an installed one.
    const QString buildTree = QDir::cleanPath(QStringLiteral(PERIX_BUILD_TREE));
    if (programDir == buildTree || programDir.startsWith(buildTree + QStringLiteral("/")))
        places.append(QStringLiteral(PERIX_SOUND_MODULE_BUILT));
    return places;
}

std::unique_ptr<SoundOutput> LoadSoundOutput()
{
    for (const QString &place : SoundModulePlaces()) {
        if (!QFileInfo(place).isFile())
            continue;
        QPluginLoader loader(place);
        if (auto *factory = qobject_cast<SoundOutputFactory *>(loader.instance()))
            return factory->create();
    }
    return {};
}
