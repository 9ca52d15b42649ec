#include "transfer/TransferPaths.h"

#include "features/SafeFileName.h"
#include "transfer/FileOffers.h"
#include "transfer/Sha256.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <filesystem>
#include <system_error>

namespace TransferPath {

namespace {

std::filesystem::path nativePath(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    return std::filesystem::path(std::string(encoded.constData(), size_t(encoded.size())));
}

// lstat: a link is a link here, whatever it points at.
bool isRegularNoLink(const QString &path)
{
    std::error_code ec;
    return std::filesystem::symlink_status(nativePath(path), ec).type() ==
           std::filesystem::file_type::regular;
}

bool isRegularFollowingLinks(const QString &path)
{
    std::error_code ec;
    return std::filesystem::status(nativePath(path), ec).type() == std::filesystem::file_type::regular;
}

bool insideOrSame(const QString &folder, const QString &path)
{
    return path == folder || SafeFileName::IsInside(folder, path);
}

} // namespace

QString OwnerFileName(const QString &ownerPath)
{
    QString path = ownerPath;
    while (path.endsWith(u'/') || path.endsWith(u'\\'))
        path.chop(1);
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(cut + 1);
}

QString LocalName(const QString &ownerPath)
{
    return SafeFileName::SafeName(OwnerFileName(ownerPath));
}

std::optional<QStringList> SafeComponents(const QString &relative)
{
    if (relative.size() > MaxRelativeLength || relative.startsWith(u'/') || relative.startsWith(u'\\'))
        return std::nullopt;
    if (relative.isEmpty())
        return QStringList();
    const QStringList parts = relative.split(u'/');
    if (parts.size() > MaxDepth)
        return std::nullopt;
    QStringList safe;
    for (const QString &part : parts) {
        if (part.isEmpty() || part == u"." || part == u".." ||
            (safe.isEmpty() && part.size() == 2 && part.at(1) == u':'))
            return std::nullopt;
        safe.append(SafeFileName::SafeName(part));
    }
    return safe;
}

QString LocalTarget(const QString &root, const QString &relative)
{
    const std::optional<QStringList> parts = SafeComponents(relative);
    if (!parts || root.isEmpty())
        return {};
    if (parts->isEmpty())
        return QDir::cleanPath(root);
    const QString target = QDir::cleanPath(root + u'/' + parts->join(u'/'));
    return SafeFileName::IsInside(root, target) ? target : QString();
}

bool IsSafeWriteLocation(const QString &root, const QString &path)
{
    const QString cleanRoot = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    const QString cleanPath = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (!insideOrSame(cleanRoot, cleanPath))
        return false;
    if (QFileInfo(cleanPath).isSymLink())
        return false;
    // Every folder from the root down must be a real one; the root's own parent chain is the
    // user's choice and is not questioned.
    QString folder = QFileInfo(cleanPath).absolutePath();
    while (insideOrSame(cleanRoot, folder)) {
        const QFileInfo info(folder);
        if (info.isSymLink() || (info.exists() && !info.isDir()))
            return false;
        if (folder == cleanRoot)
            break;
        folder = info.absolutePath();
    }
    return true;
}

QString FreeName(const QString &folder, const QString &name)
{
    const QDir dir(folder);
    const auto taken = [&](const QString &candidate) {
        return QFileInfo::exists(dir.filePath(candidate)) ||
               QFileInfo::exists(dir.filePath(candidate + QLatin1StringView(PartSuffix)));
    };
    if (!taken(name))
        return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int n = 2; n < 10000; ++n) {
        const QString candidate = QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension);
        if (!taken(candidate))
            return candidate;
    }
    return {};
}

QString NewPartialTag()
{
    return QUuid::createUuid().toString(QUuid::Id128);
}

QString PartialName(const QString &tag, const QString &relative)
{
    // The entries of a folder share the tag; a short digest of the path tells them apart.
    const QByteArray digest = Sha256::hash(relative.toUtf8()).left(4).toHex();
    return QStringLiteral(".perix-%1-%2%3")
        .arg(tag, QLatin1StringView(digest), QLatin1StringView(PartSuffix));
}

std::optional<TransferManifest> BuildManifest(const FileOffer &offer, QStringList *refused, QString *error)
{
    const QString canonical = QFileInfo(offer.path).canonicalFilePath();
    if (canonical.isEmpty() || canonical != offer.canonical) {
        if (error)
            *error = QStringLiteral("it no longer leads where it did when offered");
        return std::nullopt;
    }
    TransferManifest manifest;
    manifest.isDir = offer.isDir;
    if (!offer.isDir) {
        if (!isRegularFollowingLinks(canonical)) {
            if (error)
                *error = QStringLiteral("it is not a regular file");
            return std::nullopt;
        }
        manifest.entries.append(ManifestEntry{QString(), false, QFileInfo(canonical).size()});
        return manifest;
    }
    const QDir root(canonical);
    QDirIterator it(canonical, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = root.relativeFilePath(path);
        if (info.isSymLink()) {
            const QString target = info.canonicalFilePath();
            if (target.isEmpty() || !SafeFileName::IsInside(canonical, target)) {
                if (refused)
                    refused->append(relative);
                continue;
            }
            // A link to a file inside the folder is served as that file; links to folders could loop.
            if (!isRegularFollowingLinks(target))
                continue;
            manifest.entries.append(ManifestEntry{relative, false, QFileInfo(target).size()});
        } else if (info.isDir()) {
            manifest.entries.append(ManifestEntry{relative, true, 0});
        } else if (isRegularNoLink(path)) {
            manifest.entries.append(ManifestEntry{relative, false, info.size()});
        } else {
            continue;
        }
        if (manifest.entries.size() > MaxEntries) {
            if (error)
                *error = QStringLiteral("the folder holds too many files");
            return std::nullopt;
        }
    }
    return manifest;
}

QString ServedFilePath(const FileOffer &offer, const QString &relative, QString *why)
{
    const auto refuse = [why](const char *reason) {
        if (why)
            *why = QLatin1StringView(reason);
        return QString();
    };
    const QString root = QFileInfo(offer.path).canonicalFilePath();
    if (root.isEmpty() || root != offer.canonical)
        return refuse("it no longer leads where it did when offered");
    if (!offer.isDir) {
        if (!relative.isEmpty())
            return refuse("a file offer has no entries");
        return isRegularFollowingLinks(root) ? root : refuse("it is not a regular file");
    }
    const std::optional<QStringList> parts = SafeComponents(relative);
    if (!parts || parts->isEmpty())
        return refuse("the path is not inside the offered folder");
    const QString target = QFileInfo(root + u'/' + relative).canonicalFilePath();
    if (target.isEmpty() || !SafeFileName::IsInside(root, target))
        return refuse("the path leaves the offered folder");
    if (!isRegularFollowingLinks(target))
        return refuse("it is not a regular file");
    return target;
}

} // namespace TransferPath
