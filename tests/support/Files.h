#pragma once

#include <QByteArray>
#include <QString>

// Whole files for tests: written with the folders they need, read as they are (empty when they
// cannot be read).
bool writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);
