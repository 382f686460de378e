#include "commands/requestparameters.h"

namespace vorn {

RequestParameters::RequestParameters(const QJsonObject &object)
{
    m_members.reserve(object.size());
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        m_members.append({it.key(), it.value()});
}

} // namespace vorn
