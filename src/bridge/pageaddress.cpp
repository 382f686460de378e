#include "bridge/pageaddress.h"

#include "common/apppaths.h"

#include <QDir>
#include <QWebEngineUrlScheme>

#include <array>

namespace vorn {

using namespace Qt::StringLiterals;

QString viewFolderPath()
{
    const QString folder = appFolderPath();
    if (folder.isEmpty())
        return QString();
    return QDir::cleanPath(folder + u"view"_s);
}

bool isApplicationPage(const QUrl &url)
{
    if (!url.isValid() || url.scheme() != u"file"_s)
        return false;
    if (!url.host().isEmpty() && url.host() != u"localhost"_s)
        return false;
    const QString view = viewFolderPath();
    if (view.isEmpty())
        return false;
    const QString path = QDir::cleanPath(url.toLocalFile());
    // Folder by folder: the cleaned path must continue the view folder after a separator.
    return path.size() > view.size() + 1 && path.startsWith(view) && path.at(view.size()) == u'/';
}

QUrl startPageUrl()
{
    return QUrl::fromLocalFile(appFolderPath() + u"view/index.html"_s);
}

QUrl applicationFolderUrl(const QString &path)
{
    const QString folder = QUrl::fromLocalFile(appFolderPath()).toString(QUrl::FullyEncoded);
    return QUrl(folder + path, QUrl::TolerantMode);
}

bool isKnownScheme(const QString &scheme)
{
    static constexpr std::array<QLatin1StringView, 16> builtIn = {
        "about"_L1, "blob"_L1,        "chrome"_L1, "chrome-error"_L1, "data"_L1,  "devtools"_L1,
        "file"_L1,  "filesystem"_L1,  "ftp"_L1,    "http"_L1,         "https"_L1, "javascript"_L1,
        "qrc"_L1,   "view-source"_L1, "ws"_L1,     "wss"_L1,
    };
    const QString lower = scheme.toLower();
    for (QLatin1StringView known : builtIn) {
        if (lower == known)
            return true;
    }
    // Schemes the program registers itself are known too.
    return !QWebEngineUrlScheme::schemeByName(lower.toUtf8()).name().isEmpty();
}

QString errorPageHtml(const QUrl &failedUrl, const QString &errorText, int errorCode)
{
    return u"<html><body bgcolor=\"white\"><h2>Failed to load URL "_s +
           failedUrl.toString(QUrl::FullyEncoded).toHtmlEscaped() + u" with error "_s +
           errorText.toHtmlEscaped() + u" ("_s + QString::number(errorCode) +
           u").</h2></body></html>"_s;
}

} // namespace vorn
