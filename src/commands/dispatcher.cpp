#include "commands/dispatcher.h"

#include "commands/commandrequest.h"
#include "commands/devicecommands.h"
#include "commands/profilecommands.h"

#include <array>

namespace vorn {

namespace {

using namespace Qt::StringLiterals;

struct CommandEntry
{
    QLatin1StringView name;
    std::array<QLatin1StringView, 5> required; // tested in this order; empty views end the list
    CommandHandler handler;                    // null: not part of this build
    // Runs before the required members are tested (the one effect that precedes the test).
    CommandHandler beforeMemberTest = nullptr;
};

constexpr QLatin1StringView HardwareID = "HardwareID"_L1;
constexpr QLatin1StringView DevicePath = "DevicePath"_L1;
constexpr QLatin1StringView PARAMSIZE = "PARAMSIZE"_L1;
constexpr QLatin1StringView PARAMID = "PARAMID"_L1;
constexpr QLatin1StringView PARAMADDRESS = "PARAMADDRESS"_L1;
constexpr QLatin1StringView PARAMDATA = "PARAMDATA"_L1;
constexpr QLatin1StringView NotifyType = "NotifyType"_L1;
constexpr QLatin1StringView NotifyData = "NotifyData"_L1;
constexpr QLatin1StringView url = "url"_L1;
constexpr QLatin1StringView filePath = "filePath"_L1;
constexpr QLatin1StringView xpath = "xpath"_L1;
constexpr QLatin1StringView attribute = "attribute"_L1;
constexpr QLatin1StringView attributeValue = "attributeValue"_L1;
constexpr QLatin1StringView subTreeString = "subTreeString"_L1;
constexpr QLatin1StringView srcFilePath = "srcFilePath"_L1;
constexpr QLatin1StringView desFilePath = "desFilePath"_L1;
constexpr QLatin1StringView srcXpath = "srcXpath"_L1;
constexpr QLatin1StringView desXpath = "desXpath"_L1;
constexpr QLatin1StringView args = "args"_L1;
constexpr QLatin1StringView confKey = "confKey"_L1;
constexpr QLatin1StringView confValue = "confValue"_L1;
constexpr QLatin1StringView speednum = "speednum"_L1;
constexpr QLatin1StringView linenum = "linenum"_L1;
constexpr QLatin1StringView position = "position"_L1;

// The order is the order of comparison.
const std::array<CommandEntry, 38> &commandTable()
{
    static const std::array<CommandEntry, 38> table{{
        {"getDevicesList"_L1, {}, commands::getDevicesList},
        {"readDevicesProp"_L1,
         {HardwareID, DevicePath, PARAMSIZE, PARAMID},
         commands::readDevicesProp},
        {"writeDevicesProp"_L1,
         {HardwareID, DevicePath, PARAMSIZE, PARAMID, PARAMDATA},
         commands::writeDevicesProp},
        {"readByAddr"_L1, {HardwareID, DevicePath, PARAMSIZE, PARAMADDRESS}, commands::readByAddr},
        {"writeByAddr"_L1,
         {HardwareID, DevicePath, PARAMSIZE, PARAMADDRESS, PARAMDATA},
         commands::writeByAddr},
        {"notifyDevice"_L1, {HardwareID, NotifyType, NotifyData}, commands::notifyDevice},
        {"isPropEmpty"_L1,
         {HardwareID, DevicePath, PARAMSIZE, PARAMADDRESS},
         commands::isPropEmpty},
        {"cleanMacroByAddr"_L1,
         {HardwareID, DevicePath, PARAMSIZE, PARAMADDRESS},
         commands::cleanMacroByAddr},
        {"writeMacroByAddr"_L1,
         {HardwareID, DevicePath, PARAMSIZE, PARAMADDRESS, PARAMDATA},
         commands::writeMacroByAddr},
        {"loadurl"_L1, {url}, nullptr},
        {"queryProfile"_L1, {filePath, xpath}, commands::queryProfile},
        {"nodeCounterProfile"_L1, {filePath, xpath}, commands::nodeCounterProfile},
        {"modifyProfile"_L1,
         {filePath, xpath, attribute, attributeValue},
         commands::modifyProfile,
         commands::modifyProfileResetDoubleClick},
        {"modifyProfileEx"_L1, {filePath, xpath, subTreeString}, commands::modifyProfileEx},
        {"modifyRemoveProfile"_L1, {filePath, xpath}, commands::modifyRemoveProfile},
        {"modifyAddProfile"_L1,
         {filePath, xpath, attribute, attributeValue},
         commands::modifyAddProfile},
        {"modifyReplaceProfile"_L1,
         {srcFilePath, desFilePath, srcXpath, desXpath},
         commands::modifyReplaceProfile},
        {"modifyReplaceProfileEx"_L1,
         {srcFilePath, desFilePath, srcXpath, desXpath},
         commands::modifyReplaceProfileEx},
        {"resetProfile"_L1, {srcFilePath, desFilePath}, commands::resetProfile},
        {"queryHexByte"_L1, {filePath, xpath, args}, commands::queryHexByte},
        {"goback"_L1, {}, nullptr},
        {"goforward"_L1, {}, nullptr},
        {"getConf"_L1, {}, nullptr},
        {"setConf"_L1, {confKey, confValue}, nullptr},
        {"checkUpdate"_L1, {}, nullptr},
        {"savexml"_L1, {}, commands::savexml},
        {"saveXmlAs"_L1, {srcFilePath, desFilePath, xpath}, commands::saveXmlAs},
        {"modifyMouseSpeed"_L1, {speednum}, nullptr},
        {"modifyMouseScrollLines"_L1, {linenum}, nullptr},
        {"modifyMouseDoubleClick"_L1, {position}, nullptr},
        {"closeApp"_L1, {}, nullptr},
        {"startRecord"_L1, {}, nullptr},
        {"stopRecord"_L1, {}, nullptr},
        {"saveFileDialog"_L1, {}, nullptr},
        {"openFileDialog"_L1, {}, nullptr},
        {"openUrl"_L1, {url}, nullptr},
        {"openFileDialogExe"_L1, {}, nullptr},
        {"confChanged"_L1, {}, nullptr},
    }};
    return table;
}

const CommandEntry *findCommand(const QString &funcname)
{
    for (const CommandEntry &entry : commandTable()) {
        if (funcname == entry.name)
            return &entry;
    }
    return nullptr;
}

} // namespace

CommandDispatcher::CommandDispatcher(const CommandContext &context)
    : m_context(context)
{}

void CommandDispatcher::dispatchCommand(const QString &funcname,
                                        const RequestParameters &parameters,
                                        const ReplyHandle &callback) const
{
    const CommandEntry *entry = findCommand(funcname);
    if (!entry || !entry->handler || !callback)
        return;

    CommandRequest request(m_context, parameters, *callback);
    if (entry->beforeMemberTest)
        entry->beforeMemberTest(request);
    for (QLatin1StringView member : entry->required) {
        if (member.isEmpty())
            break;
        if (!parameters.contains(member))
            return;
    }
    entry->handler(request);
}

QStringList CommandDispatcher::commandNames()
{
    QStringList names;
    for (const CommandEntry &entry : commandTable())
        names.append(entry.name);
    return names;
}

bool CommandDispatcher::hasHandler(const QString &funcname)
{
    const CommandEntry *entry = findCommand(funcname);
    return entry && entry->handler;
}

} // namespace vorn
