#include "commands/requestparameters.h"

namespace vorn {

RequestParameters::RequestParameters(const QJsonObject &object)
{
    const qsizetype size = object.size();
    m_members.reserve(size);
    auto it = object.constBegin();
    for (qsizetype i = 0; i < size; ++i, ++it)
        m_members.emplace_back(it.key(), it.value());
}

} // namespace vorn
