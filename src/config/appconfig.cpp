#include "config/appconfig.h"

#include "common/apppaths.h"
#include "common/atomicfile.h"
#include "config/hostaddresses.h"
#include "config/xmltext.h"

#include <QFile>
#include <QLoggingCategory>

#include <pugixml.hpp>

Q_LOGGING_CATEGORY(lcConfig, "vorn.config")

namespace vorn {

AppConfig::AppConfig(QString confPath)
    : m_path(std::move(confPath))
{}

QString AppConfig::defaultPath()
{
    return appFolderPath() + u"Resources/profiles/conf.xml";
}

bool AppConfig::loadConf()
{
    m_clientMap.clear();
    m_confText.clear();

    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_file(QFile::encodeName(m_path).constData());
    if (!parsed) {
        qCInfo(lcConfig) << "cannot load" << m_path << ":" << parsed.description();
        return false;
    }

    const pugi::xml_node client = document.child("root").child("client");
    for (const pugi::xml_attribute &attribute : client.attributes())
        m_clientMap.insert(QString::fromUtf8(attribute.name()),
                           QString::fromUtf8(attribute.value()));

    m_clientMap.insert(QStringLiteral("MacAddress"), hostMacAddress());
    m_clientMap.insert(QStringLiteral("IpAddress"), hostIpAddress());

    QFile file(m_path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QByteArray bytes = file.readAll();
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        m_confText = QString::fromUtf8(bytes);
    }
    return true;
}

bool AppConfig::setClientValue(const QString &key, const QString &value)
{
    auto it = m_clientMap.find(key);
    if (it == m_clientMap.end())
        return false;
    *it = value;
    return true;
}

bool AppConfig::saveConf()
{
    QString error;
    if (!writeFileAtomically(m_path, m_confText.toUtf8(), &error)) {
        qCWarning(lcConfig) << "cannot write" << m_path << ":" << error;
        return false;
    }
    return true;
}

bool AppConfig::setClientAttributeInText(const QString &key, const QString &value)
{
    pugi::xml_document document;
    if (!xml::parse(document, m_confText))
        return false;
    const QByteArray name = key.toUtf8();
    pugi::xml_attribute attribute =
        document.child("root").child("client").attribute(name.constData());
    if (attribute)
        attribute.set_value(value.toUtf8().constData());
    m_confText = QString::fromUtf8(xml::save(document));
    return true;
}

} // namespace vorn
