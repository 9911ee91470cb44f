#include "core/modbus/line_reply.h"

#include <QMetaObject>

LineReply::LineReply(const QByteArray &request, bool fromUser, QObject *parent)
    : QObject(parent), sent(request), user(fromUser) {}

quint8 LineReply::exceptionCode() const {
    return result == Outcome::Exception && reply.size() > 2 ? static_cast<quint8>(reply.at(2)) : 0;
}

void LineReply::finish(Outcome outcome, const QByteArray &replyFrame) {
    if (isFinished()) {
        return;
    }
    result = outcome;
    reply = replyFrame;
    emit finished();
}

void LineReply::finishLater(Outcome outcome) {
    if (isFinished()) {
        return;
    }
    result = outcome;
    QMetaObject::invokeMethod(this, &LineReply::finished, Qt::QueuedConnection);
}
