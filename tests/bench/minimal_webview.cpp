// The baseline of the start-up benchmark: the least a program does to show a page with Qt
// WebEngine. Usage: minimal_webview PAGE-FILE [WIDTH HEIGHT]

#include <QApplication>
#include <QUrl>
#include <QWebEngineView>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const int width = argc > 3 ? QByteArray(argv[2]).toInt() : 800;
    const int height = argc > 3 ? QByteArray(argv[3]).toInt() : 600;

    QWebEngineView view;
    view.resize(width, height);
    view.load(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])));
    view.show();
    return app.exec();
}
