#pragma once

#include <QString>

// The desktop's own registration of Pellamor as a program started at login. The settings switch only
// mirrors it; whatever this reports is the truth.
class LoginItem
{
public:
    // Only Enabled counts as on.
    enum class Status { NotRegistered = 0, Enabled = 1, RequiresApproval = 2, NotFound = 3 };

    struct Result
    {
        bool ok = true;
        QString errorDescription;

        static Result success() { return {}; }
        static Result failure(const QString& description) { return {false, description}; }
        explicit operator bool() const { return ok; }
    };

    virtual ~LoginItem() = default;

    virtual Status status() const = 0;
    virtual Result registerItem() = 0;
    virtual Result unregisterItem() = 0;
};
