#pragma once

#include <QString>
#include <QUrl>

namespace vorn {

// The application's own pages: file: URLs below appFolderPath() + "view/".
QString viewFolderPath();

// Whether url names a file below the view folder. The URL is parsed, its path cleaned and
// compared folder by folder, so "view2/", "view/../x" and other schemes or hosts do not pass.
bool isApplicationPage(const QUrl &url);

// appFolderPath() + "view/index.html" as a file URL.
QUrl startPageUrl();

// The address of a page of the application folder: the folder as a file URL followed by
// path unchanged (path starts with "/"; a query or fragment in it stays one).
QUrl applicationFolderUrl(const QString &path);

// Whether Chromium (or a handler installed on the profile) can load url's scheme itself.
bool isKnownScheme(const QString &scheme);

// The page shown in place of a page that failed to load. Address and error text are escaped.
QString errorPageHtml(const QUrl &failedUrl, const QString &errorText, int errorCode);

} // namespace vorn
