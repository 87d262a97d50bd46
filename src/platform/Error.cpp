#include "platform/Error.h"

QString Error::localizedDescription() const
{
    const QVariant described = userInfo.value(QLatin1String(kLocalizedDescriptionKey));
    if (described.isValid() && !described.toString().isEmpty())
        return described.toString();
    return QStringLiteral("The operation couldn\u2019t be completed. (%1 error %2.)").arg(domain).arg(code);
}
