#include "config/modebindings.h"

#include "common/apppaths.h"

#include <QFile>

#include <pugixml.hpp>

namespace vorn {

QString modeBindingsPath()
{
    return appFolderPath() + u"view/xml/configuration.xml";
}

QList<ModeBinding> loadModeBindings(const QString &path)
{
    QList<ModeBinding> bindings;
    pugi::xml_document document;
    if (!document.load_file(QFile::encodeName(path).constData()))
        return bindings;
    for (const pugi::xpath_node &selected : document.select_nodes("/conf/modeSetting/modes/mode")) {
        const pugi::xml_node mode = selected.node();
        bindings.append({QString::fromUtf8(mode.attribute("bindingProcess").value()),
                         QString::fromUtf8(mode.attribute("index").value())});
    }
    return bindings;
}

} // namespace vorn
