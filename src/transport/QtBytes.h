#pragma once

#include "core/Bytes.h"

#include <QByteArray>

namespace telvanto::transport {

// Between Qt's byte arrays and ours, at the edges where Qt hands bytes over.
inline QByteArray toQByteArray(ByteView bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

inline ByteView view(const QByteArray& bytes)
{
    return ByteView(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
}

} // namespace telvanto::transport
