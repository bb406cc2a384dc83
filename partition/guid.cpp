#include "partition/guid.h"

#include <QUuid>

namespace tarn {

namespace {

// QUuid's text and RFC 4122 byte order is big-endian in fields 1-3; GPT's is little-endian.
guid_s swap_fields(const QByteArray& rfc)
{
    constexpr std::size_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    guid_s out{};
    for (std::size_t i = 0; i < 16; ++i)
        out[i] = static_cast<std::byte>(rfc[static_cast<qsizetype>(order[i])]);
    return out;
}

} // namespace

guid_s random_guid()
{
    // Qt draws version 4 GUIDs from the system's random source.
    return swap_fields(QUuid::createUuid().toRfc4122());
}

QString guid_text(const guid_s& guid)
{
    const guid_s rfc = swap_fields(QByteArray(reinterpret_cast<const char*>(guid.data()), 16));
    return QUuid::fromRfc4122(QByteArrayView(reinterpret_cast<const char*>(rfc.data()), 16))
        .toString(QUuid::WithoutBraces)
        .toUpper();
}

} // namespace tarn
