#include "platform/fakes/FakeLoginItem.h"

void FakeLoginItem::succeedAll()
{
    m_registerError.reset();
    m_unregisterError.reset();
}

LoginItem::Status FakeLoginItem::status() const
{
    ++m_statusCalls;
    return m_status;
}

LoginItem::Result FakeLoginItem::registerItem()
{
    ++m_registerCalls;
    if (m_registerError)
        return Result::failure(*m_registerError);
    m_status = Status::Enabled;
    return Result::success();
}

LoginItem::Result FakeLoginItem::unregisterItem()
{
    ++m_unregisterCalls;
    if (m_unregisterError)
        return Result::failure(*m_unregisterError);
    m_status = Status::NotRegistered;
    return Result::success();
}
