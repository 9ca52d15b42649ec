#pragma once

#include <QObject>
#include <QString>
#include <QtPlugin>

#include <memory>

// Plays the event sounds' files. It lives in a module of its own, loaded with the first sound: the
// audio libraries and their codecs (fifteen libraries, ten thousand relocations) would otherwise load
// with every start, and most runs play nothing.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // False when there is no output device; asked once.
    virtual bool available() = 0;
    // Plays the file once, for the event kind given; a file it cannot decode stays silent.
    virtual void play(int kind, const QString &path) = 0;
    virtual void stop(int kind) = 0;
};

// What the module exports.
class SoundOutputFactory {
public:
    virtual ~SoundOutputFactory() = default;
    virtual std::unique_ptr<SoundOutput> create() = 0;
};

#define PerixSoundOutputFactory_iid "org.perixchat.SoundOutputFactory/1"
Q_DECLARE_INTERFACE(SoundOutputFactory, PerixSoundOutputFactory_iid)

// Finds the module next to the program (installed) or in the build tree (a program run from there),
// and makes an output of it; null when there is none, and then nothing is heard.
std::unique_ptr<SoundOutput> LoadSoundOutput();
// Where LoadSoundOutput looks, in order.
QStringList SoundModulePlaces();
