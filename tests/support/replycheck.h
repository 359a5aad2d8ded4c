#pragma once

#include "modbusframe.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The verdict on one whole reply, judged apart from the frame search the
// master uses: the tests and the fuzzer hold the search against it.
namespace kelmar {

// Checks everything that arrived after `request` went out. The reply frame
// is measured by its own header (five bytes for an exception, otherwise five
// plus the byte count); it must be exactly what arrived, carry a good CRC and
// answer the request's slave, function and register count.
ReplyCheck checkReply(const QByteArray &request, const QByteArray &reply);

// The value of a reply when its check passes, otherwise nothing.
std::optional<qint64> replyValue(const QByteArray &request, const QByteArray &reply);

// The reading text of a reply: its decoded registers in decimal when the
// check passes ("-" first when negative), otherwise the empty text.
QString replyReading(const QByteArray &request, const QByteArray &reply);

} // namespace kelmar
