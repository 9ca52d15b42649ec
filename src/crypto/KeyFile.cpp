#include "crypto/KeyFile.h"

#include "settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sodium.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype MaxKeyFileBytes = 4096;
constexpr char UserStoreKeyName[] = "Perix Chat.key";

struct Entry {
    const char *name;
    QByteArray value;
    bool seen = false;
};

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The buffers that held secrets are overwritten before they go; they are never shared.
void wipe(QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    bytes.detach();
    WipeMemory(bytes.data(), size_t(bytes.size()));
}

QByteArray base64(const unsigned char *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)).toBase64();
}

bool decode32(const QByteArray &text, QByteArray *out)
{
    auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != 32) {
        wipe(decoded.decoded);
        return false;
    }
    *out = std::move(decoded.decoded);
    return true;
}

bool writeAll(int fd, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t written = ::write(fd, bytes.data(), size_t(bytes.size()));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes = bytes.sliced(written);
    }
    return true;
}

// At most limit + 1 bytes, so that a longer file shows as too long without being read whole.
bool readBounded(int fd, qsizetype limit, QByteArray *out)
{
    out->resize(limit + 1);
    qsizetype total = 0;
    while (total < out->size()) {
        const ssize_t n = ::read(fd, out->data() + total, size_t(out->size() - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        total += n;
    }
    out->truncate(total);
    return true;
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

enum class Creation { Made, Exists, Failed };

Creation createKeyFile(const QString &path, const IdentityKeys &keys, QString *error)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("the folder %1 cannot be made").arg(folder);
        return Creation::Failed;
    }
    unsigned char tag[8];
    randombytes_buf(tag, sizeof tag);
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary =
        target + ".tmp-" + QByteArray::fromRawData(reinterpret_cast<const char *>(tag), sizeof tag).toHex();
    // Mode 0600 from the first instant; the umask can only take bits away, and fchmod puts back what
    // a strict umask took from the user.
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) {
        *error = systemError(errno);
        return Creation::Failed;
    }
    QByteArray text = KeyFileText(keys);
    bool written = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    const int writeError = errno;
    wipe(text);
    written = ::close(fd) == 0 && written;
    if (!written) {
        *error = systemError(writeError);
        ::unlink(temporary.constData());
        return Creation::Failed;
    }
    // link() never replaces a file that appeared meanwhile.
    if (::link(temporary.constData(), target.constData()) == 0) {
        ::unlink(temporary.constData());
        syncFolder(folder);
        return Creation::Made;
    }
    const int linkError = errno;
    if (linkError == EEXIST) {
        ::unlink(temporary.constData());
        return Creation::Exists;
    }
#ifdef RENAME_NOREPLACE
    // File systems without hard links.
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) {
        syncFolder(folder);
        return Creation::Made;
    }
    if (errno == EEXIST) {
        ::unlink(temporary.constData());
        return Creation::Exists;
    }
#endif
    ::unlink(temporary.constData());
    *error = systemError(linkError);
    return Creation::Failed;
}

QString refuseText(const QString &path, const QString &problem)
{
    return QStringLiteral("The key file \"%1\" %2. Perix Chat does not start with it.").arg(path, problem);
}

KeyFileResult failed(KeyFileResult result, KeyFileStatus status, QString message)
{
    result.status = status;
    result.keys.reset();
    result.message = std::move(message);
    return result;
}

// One attempt to load an existing file; nullopt when there is none.
std::optional<KeyFileResult> loadExisting(const KeyFileResult &start)
{
    const QByteArray name = QFile::encodeName(start.path);
    // Not blocking: a FIFO in its place must not hold the start.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        // ENOTDIR: a file stands where a folder of the path should be, so no key file can be there.
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        return failed(start, KeyFileStatus::Unreadable,
                      refuseText(start.path, QStringLiteral("cannot be read (%1)").arg(systemError(errno))));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return failed(start, KeyFileStatus::Unreadable,
                      refuseText(start.path, QStringLiteral("is no plain file")));
    }
    if (info.st_uid != ::geteuid()) {
        ::close(fd);
        return failed(start, KeyFileStatus::NotOwned,
                      refuseText(start.path, QStringLiteral("belongs to another user")));
    }
    const unsigned mode = unsigned(info.st_mode) & 07777u;
    if (mode & 077u) {
        ::close(fd);
        return failed(start, KeyFileStatus::Exposed,
                      QStringLiteral("The key file \"%1\" can be read or changed by other users "
                                     "(permissions %2). Perix Chat does not start with it. Make it "
                                     "private: chmod 600 \"%1\"")
                          .arg(start.path, QStringLiteral("%1").arg(mode, 4, 8, QLatin1Char('0'))));
    }
    QByteArray text;
    const bool read = readBounded(fd, MaxKeyFileBytes, &text);
    const int readError = errno;
    ::close(fd);
    if (!read) {
        wipe(text);
        return failed(
            start, KeyFileStatus::Unreadable,
            refuseText(start.path, QStringLiteral("cannot be read (%1)").arg(systemError(readError))));
    }
    QString error;
    std::optional<IdentityKeys> keys = ParseKeyFileText(text, &error);
    wipe(text);
    if (!keys) {
        return failed(start, KeyFileStatus::Damaged,
                      QStringLiteral("The key file \"%1\" is damaged: %2. Perix Chat does not start with it "
                                     "and leaves it as it is; move it away to start with new keys (the users "
                                     "who knew the old ones will be warned).")
                          .arg(start.path, error));
    }
    KeyFileResult result = start;
    result.status = KeyFileStatus::Loaded;
    result.keys = std::move(keys);
    return result;
}

} // namespace

QString IdentityKeyFile(const SettingsStore &store)
{
    if (!store.isUserStore())
        return store.location() + QStringLiteral(".key");
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QLatin1StringView(UserStoreKeyName));
}

QByteArray KeyFileText(const IdentityKeys &keys)
{
    const IdentityKeys::SignSeed seed = keys.signSeed();
    QByteArray text(
        "# Perix Chat identity keys. Whoever has this file can speak as you: keep it to yourself.\n"
        "version=1\n");
    QByteArray secret = base64(keys.boxSecret().data(), keys.boxSecret().size());
    text += "box-secret=" + secret + '\n';
    wipe(secret);
    text += "box-public=" + keys.publicKeys().box.toBase64() + '\n';
    secret = base64(seed.data(), seed.size());
    text += "sign-seed=" + secret + '\n';
    wipe(secret);
    text += "sign-public=" + keys.publicKeys().sign.toBase64() + '\n';
    return text;
}

std::optional<IdentityKeys> ParseKeyFileText(QByteArrayView text, QString *error)
{
    auto fail = [error](const QString &reason) -> std::optional<IdentityKeys> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    if (text.size() > MaxKeyFileBytes)
        return fail(QStringLiteral("it is longer than a key file can be"));
    Entry entries[] = {
        {"version", {}}, {"box-secret", {}}, {"box-public", {}}, {"sign-seed", {}}, {"sign-public", {}}};
    int lineNumber = 0;
    while (!text.isEmpty()) {
        ++lineNumber;
        const qsizetype end = text.indexOf('\n');
        QByteArrayView line = end < 0 ? text : text.first(end);
        text = end < 0 ? QByteArrayView() : text.sliced(end + 1);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            return fail(QStringLiteral("line %1 is not name=value").arg(lineNumber));
        const QByteArrayView name = line.first(equals).trimmed();
        Entry *entry = nullptr;
        for (Entry &e : entries) {
            if (name == QByteArrayView(e.name))
                entry = &e;
        }
        if (!entry)
            return fail(QStringLiteral("line %1 holds an unknown name").arg(lineNumber));
        if (entry->seen)
            return fail(QStringLiteral("\"%1\" stands twice").arg(QLatin1StringView(entry->name)));
        entry->seen = true;
        entry->value = line.sliced(equals + 1).trimmed().toByteArray();
    }
    for (const Entry &e : entries) {
        if (!e.seen)
            return fail(QStringLiteral("\"%1\" is missing").arg(QLatin1StringView(e.name)));
    }
    if (entries[0].value != "1")
        return fail(QStringLiteral("its version is not 1"));
    QByteArray values[4];
    for (int i = 0; i < 4; ++i) {
        if (!decode32(entries[i + 1].value, &values[i])) {
            for (QByteArray &v : values)
                wipe(v);
            return fail(QStringLiteral("\"%1\" is not 32 bytes in base64")
                            .arg(QLatin1StringView(entries[i + 1].name)));
        }
    }
    std::optional<IdentityKeys> keys = IdentityKeys::fromSecrets(values[0], values[2]);
    const PeerPublicKeys stored{values[1], values[3]};
    for (QByteArray &v : values)
        wipe(v);
    for (Entry &e : entries)
        wipe(e.value);
    if (!keys)
        return fail(QStringLiteral("its keys cannot be used"));
    if (keys->publicKeys() != stored)
        return fail(QStringLiteral("its public keys do not belong to its secret keys"));
    return keys;
}

KeyFileResult LoadOrCreateIdentityKeys(const QString &path)
{
    KeyFileResult result;
    result.path = path;
    if (!SodiumReady()) {
        return failed(result, KeyFileStatus::NoCrypto,
                      QStringLiteral("The cryptography library could not be started. Perix Chat runs without "
                                     "keys: talks are not encrypted and names are not verified."));
    }
    // Twice at most: when another copy made the file between our look and our link, load its keys.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (std::optional<KeyFileResult> loaded = loadExisting(result))
            return *std::move(loaded);
        std::optional<IdentityKeys> keys = IdentityKeys::generate();
        if (!keys)
            return failed(result, KeyFileStatus::NoCrypto, QStringLiteral("New keys could not be made."));
        QString error;
        switch (createKeyFile(path, *keys, &error)) {
        case Creation::Made:
            result.status = KeyFileStatus::Created;
            result.keys = std::move(keys);
            return result;
        case Creation::Exists:
            continue;
        case Creation::Failed:
            return failed(
                result, KeyFileStatus::CannotCreate,
                QStringLiteral("The key file \"%1\" could not be made (%2). Perix Chat runs without "
                               "keys: talks are not encrypted and names are not verified.")
                    .arg(path, error));
        }
    }
    return failed(result, KeyFileStatus::Unreadable,
                  refuseText(path, QStringLiteral("appears and disappears while it is read")));
}
