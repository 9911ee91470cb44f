#include "tests/support/fake_line.h"

#include <cstring>

void FakeDevice::push(const QByteArray &bytes) {
    incoming.append(bytes);
    emit readyRead();
}

qint64 FakeDevice::readData(char *data, qint64 maxSize) {
    const int n = static_cast<int>(qMin<qint64>(maxSize, incoming.size()));
    std::memcpy(data, incoming.constData(), static_cast<size_t>(n));
    incoming.remove(0, n);
    return n;
}

qint64 FakeDevice::writeData(const char *data, qint64 size) {
    if (failWrites) {
        return -1;
    }
    const QByteArray bytes(data, static_cast<int>(size));
    writes.append(bytes);
    emit wrote(bytes);
    return size;
}

bool FakePort::open(int rate, QString *error) {
    fake.close();
    if (refuse) {
        if (error) {
            *error = QStringLiteral("cannot open fake: no such device");
        }
        return false;
    }
    opens.append(rate);
    return fake.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

class FakeDeadline : public LineDeadline {
public:
    FakeDeadline(FakeClock &owner, QObject *parent) : LineDeadline(parent), clock(owner) {}
    void start(int ms) override {
        due = clock.now + qMax(0, ms);
        order = ++clock.starts;
        active = true;
        if (clock.started) {
            clock.started();
        }
    }
    void stop() override { active = false; }
    bool isActive() const override { return active; }

    FakeClock &clock;
    qint64 due = 0;
    qint64 order = 0;
    bool active = false;
};

LineDeadline *FakeClock::deadline(QObject *parent) {
    auto *made = new FakeDeadline(*this, parent);
    deadlines.append(made);
    return made;
}

void FakeClock::advance(qint64 ms) {
    const qint64 target = now + ms;
    for (;;) {
        // The earliest deadline due by the target (the one started first among equals) fires.
        FakeDeadline *next = nullptr;
        for (const QPointer<LineDeadline> &d : deadlines) {
            auto *f = static_cast<FakeDeadline *>(d.data());
            if (f && f->active && f->due <= target &&
                (!next || f->due < next->due || (f->due == next->due && f->order < next->order))) {
                next = f;
            }
        }
        if (!next) {
            break;
        }
        now = qMax(now, next->due);
        next->active = false;
        emit next->expired();
    }
    now = target;
}

qint64 FakeClock::nextDue() const {
    qint64 due = -1;
    for (const QPointer<LineDeadline> &d : deadlines) {
        const auto *f = static_cast<const FakeDeadline *>(d.data());
        if (f && f->active && (due < 0 || f->due < due)) {
            due = f->due;
        }
    }
    return due;
}
