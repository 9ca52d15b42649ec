#include "peers/KeyPins.h"

namespace {

constexpr char Section[] = "KeyPins";
// The last-seen time is stored again only when it moved by more than this, so that seeing a user
// does not write the settings each time.
constexpr qint64 LastSeenStep = 24 * 3600;

QString base64(const QByteArray &key)
{
    return QString::fromLatin1(key.toBase64());
}

bool readKey(const QString &text, QByteArray *key)
{
    const auto decoded =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != SecurePacket::KeyBytes)
        return false;
    *key = decoded.decoded;
    return true;
}

bool readTime(const QString &text, qint64 *value)
{
    bool ok = false;
    *value = text.toLongLong(&ok);
    return ok && *value >= 0;
}

} // namespace

KeyPins::KeyPins(const SettingsStore &store)
    : m_store(store)
{
    const auto texts = m_store.readSectionTexts(QLatin1StringView(Section), MaxPins);
    if (!texts) {
        m_readFailed = true;
        return;
    }
    for (auto it = texts->cbegin(); it != texts->cend(); ++it) {
        if (std::optional<KeyPin> pin = ParsePinText(it.value()))
            m_pins.insert(it.key(), *pin);
    }
}

QString KeyPins::PinText(const KeyPin &pin)
{
    QString text = QStringLiteral("1 %1 %2 %3 %4 %5")
                       .arg(base64(pin.pinned.box), base64(pin.pinned.sign),
                            pin.verified ? QStringLiteral("1") : QStringLiteral("0"),
                            QString::number(pin.firstSeen), QString::number(pin.lastSeen));
    if (pin.offered.isValid())
        text += QStringLiteral(" %1 %2").arg(base64(pin.offered.box), base64(pin.offered.sign));
    return text;
}

std::optional<KeyPin> KeyPins::ParsePinText(const QString &text)
{
    const QStringList parts = text.split(u' ');
    if ((parts.size() != 6 && parts.size() != 8) || parts[0] != QLatin1StringView("1"))
        return std::nullopt;
    KeyPin pin;
    if (!readKey(parts[1], &pin.pinned.box) || !readKey(parts[2], &pin.pinned.sign))
        return std::nullopt;
    if (parts[3] != QLatin1StringView("0") && parts[3] != QLatin1StringView("1"))
        return std::nullopt;
    pin.verified = parts[3] == QLatin1StringView("1");
    if (!readTime(parts[4], &pin.firstSeen) || !readTime(parts[5], &pin.lastSeen))
        return std::nullopt;
    if (parts.size() == 8 && (!readKey(parts[6], &pin.offered.box) || !readKey(parts[7], &pin.offered.sign)))
        return std::nullopt;
    if (pin.offered == pin.pinned)
        pin.offered = {};
    return pin;
}

bool KeyPins::store(const QString &userId, const KeyPin &pin) const
{
    return m_store.writeString(QLatin1StringView(Section), userId, PinText(pin));
}

bool KeyPins::makeRoom(qint64 nowSeconds)
{
    if (m_pins.size() < MaxPins)
        return true;
    auto oldest = m_pins.end();
    for (auto it = m_pins.begin(); it != m_pins.end(); ++it) {
        if (it->verified || nowSeconds - it->lastSeen < StalePinSeconds)
            continue;
        if (oldest == m_pins.end() || it->lastSeen < oldest->lastSeen)
            oldest = it;
    }
    if (oldest == m_pins.end())
        return false;
    m_store.removeValue(QLatin1StringView(Section), oldest.key());
    m_pins.erase(oldest);
    return true;
}

KeyTrust KeyPins::observe(const QString &userId, const PeerPublicKeys &keys, qint64 nowSeconds)
{
    if (userId.isEmpty() || !keys.isValid())
        return KeyTrust::Unknown;
    const auto found = m_pins.find(userId);
    if (found == m_pins.end()) {
        if (!makeRoom(nowSeconds))
            return KeyTrust::Unknown;
        KeyPin pin;
        pin.pinned = keys;
        pin.firstSeen = pin.lastSeen = nowSeconds;
        m_pins.insert(userId, pin);
        // A pin that cannot be stored still holds for this run.
        store(userId, pin);
        return KeyTrust::Pinned;
    }
    KeyPin &pin = *found;
    bool changed = false;
    if (keys == pin.pinned) {
        if (nowSeconds - pin.lastSeen > LastSeenStep) {
            pin.lastSeen = nowSeconds;
            changed = true;
        }
    } else if (keys != pin.offered) {
        pin.offered = keys;
        changed = true;
    }
    if (changed)
        store(userId, pin);
    return trustFor(userId, keys);
}

KeyTrust KeyPins::trustFor(const QString &userId, const PeerPublicKeys &keys) const
{
    const auto found = m_pins.constFind(userId);
    if (found == m_pins.constEnd())
        return KeyTrust::Unknown;
    if (keys != found->pinned)
        return KeyTrust::Changed;
    return found->verified ? KeyTrust::Verified : KeyTrust::Pinned;
}

KeyTrust KeyPins::state(const QString &userId) const
{
    const auto found = m_pins.constFind(userId);
    if (found == m_pins.constEnd())
        return KeyTrust::Unknown;
    if (found->offered.isValid())
        return KeyTrust::Changed;
    return found->verified ? KeyTrust::Verified : KeyTrust::Pinned;
}

std::optional<KeyPin> KeyPins::pin(const QString &userId) const
{
    const auto found = m_pins.constFind(userId);
    if (found == m_pins.constEnd())
        return std::nullopt;
    return *found;
}

bool KeyPins::acceptOffered(const QString &userId)
{
    const auto found = m_pins.find(userId);
    if (found == m_pins.end() || !found->offered.isValid())
        return false;
    found->pinned = found->offered;
    found->offered = {};
    found->verified = false;
    store(userId, *found);
    return true;
}

bool KeyPins::dismissOffered(const QString &userId)
{
    const auto found = m_pins.find(userId);
    if (found == m_pins.end() || !found->offered.isValid())
        return false;
    found->offered = {};
    store(userId, *found);
    return true;
}

bool KeyPins::setVerified(const QString &userId, bool verified)
{
    const auto found = m_pins.find(userId);
    if (found == m_pins.end())
        return false;
    if (found->verified != verified) {
        found->verified = verified;
        store(userId, *found);
    }
    return true;
}

bool KeyPins::forget(const QString &userId)
{
    if (!m_pins.remove(userId))
        return false;
    m_store.removeValue(QLatin1StringView(Section), userId);
    return true;
}
