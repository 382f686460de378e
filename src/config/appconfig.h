#pragma once

#include <QMap>
#include <QString>

namespace vorn {

// The application configuration: conf.xml in Resources/profiles below the application folder.
//
// At start-up the attributes of root/client become the key-value map, plus two keys computed
// in memory only (MacAddress, IpAddress), and the whole file text is kept. Afterwards the map
// and the text change only through the setters and are never reloaded from disk. The map and
// the text are used on the main thread only.
class AppConfig
{
public:
    explicit AppConfig(QString confPath = defaultPath());

    // appFolderPath() + "Resources/profiles/conf.xml"
    static QString defaultPath();

    // Reads conf.xml. A missing or malformed file leaves the map and the text empty and
    // returns false.
    bool loadConf();

    QMap<QString, QString> clientMap() const { return m_clientMap; }
    QString clientValue(const QString &key) const { return m_clientMap.value(key); }
    // Sets an existing key; keys are never added. Returns whether the key existed.
    bool setClientValue(const QString &key, const QString &value);

    QString confText() const { return m_confText; }
    void setConfText(const QString &text) { m_confText = text; }

    // Writes the text to conf.xml atomically. Returns false (and changes nothing on disk)
    // when it cannot be written.
    bool saveConf();

    // Sets the existing attribute key of root/client in the text (a missing attribute is not
    // created), re-serialises the document with the default layout and stores it with
    // setConfText. Returns false, changing nothing, when the text does not parse.
    bool setClientAttributeInText(const QString &key, const QString &value);

    QString path() const { return m_path; }

private:
    QString m_path;
    QMap<QString, QString> m_clientMap;
    QString m_confText;
};

} // namespace vorn
