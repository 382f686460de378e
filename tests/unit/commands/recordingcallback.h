#pragma once

#include "commands/queryreply.h"

#include <QList>

// A reply handle that records every delivered answer, for tests.
class RecordingCallback final : public vorn::QueryCallback
{
public:
    struct Answer
    {
        bool success = false;
        int code = -1;
        QString text;
    };
    QList<Answer> answers;

    static QSharedPointer<RecordingCallback> create()
    {
        return QSharedPointer<RecordingCallback>::create();
    }

protected:
    void deliverSuccess(const QString &response) override { answers.append({true, -1, response}); }
    void deliverFailure(int code, const QString &message) override
    {
        answers.append({false, code, message});
    }
};
