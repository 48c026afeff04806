#include "core/presets.h"

std::optional<ServerValues> presetFor(int listIndex, const QString &presetServerIp)
{
    switch (listIndex) {
    case 0:
        return ServerValues{presetServerIp, QStringLiteral("6500"), QStringLiteral("0")};
    case 1:
        return ServerValues{QString(), QStringLiteral("6500"), QStringLiteral("0")};
    default:
        return std::nullopt;
    }
}
