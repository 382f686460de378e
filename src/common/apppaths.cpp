#include "common/apppaths.h"

#include <QCoreApplication>
#include <QDir>

namespace vorn {
namespace {

QString s_appFolderPath;
QString s_exeFolderPath;

QString withTrailingSlash(const QString &folder)
{
    QString path = QDir::fromNativeSeparators(folder);
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

} // namespace

QString appFolderPath()
{
    return s_appFolderPath;
}

QString exeFolderPath()
{
    return s_exeFolderPath;
}

void initFolderPaths()
{
    s_exeFolderPath = withTrailingSlash(QCoreApplication::applicationDirPath());
    s_appFolderPath = s_exeFolderPath;
}

void setAppFolderPath(const QString &folder)
{
    s_appFolderPath = withTrailingSlash(QDir(folder).absolutePath());
}

} // namespace vorn
