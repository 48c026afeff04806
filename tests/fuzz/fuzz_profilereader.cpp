// libFuzzer target for the profile-file reader. Build with clang:
//   cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DSKIRVANE_FUZZ=ON
//   cmake --build build/fuzz --target fuzz_profilereader
//   mkdir -p found && build/fuzz/bin/fuzz_profilereader -max_len=4096 found tests/fuzz/corpus
// New inputs go to the first folder; an input that once broke the reader
// belongs in tests/fuzz/corpus.
#include "favourites/codepage1252.h"
#include "favourites/favouritesfile.h"
#include "favourites/profilereader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QList<ProfileKey> wanted = [] {
        QList<ProfileKey> keys = FavouritesFile::profileKeys();
        keys.append({QStringLiteral("Other"), QStringLiteral("ServerName")});
        keys.append({QStringLiteral("SERVER"), QStringLiteral("Caf\u00E9")});
        return keys;
    }();

    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const ProfileReader reader = ProfileReader::read(bytes, wanted);
    for (const ProfileKey &key : wanted) {
        if (reader.value(key.section, key.key).size() > ProfileReader::MaxValueLength)
            std::abort();
    }

    // Every byte survives the code page both ways.
    const std::optional<QByteArray> again = CodePage1252::encode(CodePage1252::decode(bytes));
    if (!again || *again != bytes)
        std::abort();
    return 0;
}
