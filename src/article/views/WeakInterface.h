#pragma once

#include <QObject>
#include <QPointer>

// An interface pointer that is not owned. When the object behind it is a QObject, its deletion is
// noticed and the pointer reads as null from then on; any other object must outlive the holder.
template <typename Interface>
class WeakInterface
{
public:
    WeakInterface() = default;
    explicit WeakInterface(Interface* pointer)
        : m_pointer(pointer), m_object(dynamic_cast<QObject*>(pointer)), m_isObject(m_object != nullptr)
    {
    }

    Interface* get() const { return m_isObject && !m_object ? nullptr : m_pointer; }

private:
    Interface* m_pointer = nullptr;
    QPointer<QObject> m_object;
    bool m_isObject = false;
};
