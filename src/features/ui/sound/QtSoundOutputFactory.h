#pragma once

#include "features/ui/SoundOutput.h"

#include <QObject>

// The event sounds through Qt Multimedia: what the module that the program loads with the first sound
// exports.
class QtSoundOutputFactory : public QObject, public SoundOutputFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PerixSoundOutputFactory_iid)
    Q_INTERFACES(SoundOutputFactory)
public:
    std::unique_ptr<SoundOutput> create() override;
};
