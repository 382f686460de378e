#pragma once

#include <QByteArray>
#include <QString>

namespace vorn {

// Replaces the file at path with data in one step: the bytes go to a temporary file beside it,
// which is renamed over the old file only when everything was written. A failed or interrupted
// write leaves the previous file whole. On failure returns false and, if given, sets
// errorText.
bool writeFileAtomically(const QString &path, const QByteArray &data, QString *errorText = nullptr);

} // namespace vorn
