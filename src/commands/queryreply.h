#pragma once

#include <QSharedPointer>
#include <QString>

#include <atomic>

namespace vorn {

// The answer side of one page query. The first answer wins; later answers are ignored. The
// channel that carried the query (the bridge, the command-line host) decides where an answer
// goes by implementing the two deliver functions.
class QueryCallback
{
public:
    virtual ~QueryCallback();

    void Success(const QString &response);
    void Failure(int errorCode, const QString &errorMessage);

    bool isAnswered() const { return m_answered.load(std::memory_order_acquire); }

protected:
    virtual void deliverSuccess(const QString &response) = 0;
    virtual void deliverFailure(int errorCode, const QString &errorMessage) = 0;

private:
    bool claimAnswer();

    std::atomic<bool> m_answered{false};
};

// The reference-counted handle the dispatcher holds while a request runs.
using ReplyHandle = QSharedPointer<QueryCallback>;

} // namespace vorn
