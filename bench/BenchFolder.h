#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Everything a benchmark writes goes to one temporary folder that is removed at the end, Qt's
// runtime folder included (without XDG_RUNTIME_DIR Qt would make a fixed one under /tmp). Make it
// before the application object.
class BenchFolder {
public:
    BenchFolder()
    {
        const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir{QDir::temp().filePath(QStringLiteral("perix-bench-XXXXXX"))};
};
