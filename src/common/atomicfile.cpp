#include "common/atomicfile.h"

#include <QSaveFile>

namespace vorn {

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    if (file.write(data) != data.size()) {
        if (errorText)
            *errorText = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    return true;
}

} // namespace vorn
