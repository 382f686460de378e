#include "commands/queryreply.h"

namespace vorn {

QueryCallback::~QueryCallback() = default;

bool QueryCallback::claimAnswer()
{
    bool expected = false;
    return m_answered.compare_exchange_strong(expected, true, std::memory_order_acq_rel);
}

void QueryCallback::Success(const QString &response)
{
    if (claimAnswer())
        deliverSuccess(response);
}

void QueryCallback::Failure(int errorCode, const QString &errorMessage)
{
    if (claimAnswer())
        deliverFailure(errorCode, errorMessage);
}

} // namespace vorn
