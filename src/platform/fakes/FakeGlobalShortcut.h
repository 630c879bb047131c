#pragma once

#include "platform/GlobalShortcut.h"

#include <QList>

// Binds nothing: records what it is asked for and answers with `answer`, at once.
class FakeGlobalShortcut : public GlobalShortcut
{
    Q_OBJECT

public:
    using GlobalShortcut::GlobalShortcut;

    Status answer = Status::Bound;
    QList<QKeyCombination> bound;
    int unbinds = 0;

    void bind(QKeyCombination combination) override
    {
        bound << combination;
        setStatus(Status::Pending);
        setStatus(answer);
    }
    void unbind() override
    {
        ++unbinds;
        setStatus(Status::Unbound);
    }
    void press() { Q_EMIT activated(); }
};
