// A database value, or a substitute when the value is NULL.
#pragma once

#include <QVariant>

inline QVariant NullTo(const QVariant &value, const QVariant &substitute)
{
    return value.isNull() ? substitute : value;
}
