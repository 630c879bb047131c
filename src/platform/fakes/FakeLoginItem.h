#pragma once

#include "platform/LoginItem.h"

#include <optional>

// A login item for tests: its status is whatever the test sets, registering and unregistering succeed
// (and move the status) unless the test scripts a failure, and every call is counted.
class FakeLoginItem : public LoginItem
{
public:
    void setStatus(Status status) { m_status = status; }
    // A failure keeps the status as it is.
    void failRegister(const QString& description) { m_registerError = description; }
    void failUnregister(const QString& description) { m_unregisterError = description; }
    void succeedAll();

    int statusCalls() const { return m_statusCalls; }
    int registerCalls() const { return m_registerCalls; }
    int unregisterCalls() const { return m_unregisterCalls; }

    Status status() const override;
    Result registerItem() override;
    Result unregisterItem() override;

private:
    Status m_status = Status::NotRegistered;
    std::optional<QString> m_registerError;
    std::optional<QString> m_unregisterError;
    mutable int m_statusCalls = 0;
    int m_registerCalls = 0;
    int m_unregisterCalls = 0;
};
