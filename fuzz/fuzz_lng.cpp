// Feeds arbitrary bytes to the language-file reader and looks up every text the program asks for.
#include "features/LngCatalogue.h"
#include "features/LngIniFile.h"
#include "features/LngUn.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const LngIniFile file = LngIniFile::fromBytes(bytes);
    volatile qsizetype sink = file.sections().size();
    for (const QString &section : file.sections())
        sink = sink + file.hasSection(section);
    for (const Lng::CatalogueEntry &entry : Lng::Catalogue()) {
        const QString value = file.value(entry.sectionName(), entry.keyName(), entry.defaultValue());
        if (value.size() > LngIniFile::MaxValueLength && value != entry.defaultValue())
            __builtin_trap();
        sink = sink + Lng::PlaceholderCount(value);
    }
    sink = sink + file.value(QStringLiteral("LNG"), QStringLiteral("LanguageName"), QString()).size();
    sink = sink + LngIniFile::decode(bytes).size() + LngIniFile::isValidUtf8(bytes);
    return 0;
}
