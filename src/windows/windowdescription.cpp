#include "windows/windowdescription.h"

QString ControlDescription::objectName() const
{
    return index ? QStringLiteral("%1(%2)").arg(name).arg(*index) : name;
}

const ControlDescription *WindowDescription::control(const QString &objectName) const
{
    for (const ControlDescription &c : controls) {
        if (c.objectName() == objectName)
            return &c;
    }
    return nullptr;
}
