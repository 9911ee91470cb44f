#ifndef ZR_CORE_MODBUS_MBAP_FRAME_H
#define ZR_CORE_MODBUS_MBAP_FRAME_H

#include <QByteArray>
#include <QtGlobal>

// Modbus TCP framing. Callers build and decode RTU-shaped frames (address, PDU, CRC); on a Modbus
// TCP connection the line sends them as an MBAP frame (transaction id, protocol 0, length, unit
// id = the address, PDU) and hands an answer back in the RTU shape, so no decoder sees the
// difference.
namespace Mbap {

// Transaction id, protocol id, length and unit id.
constexpr int HeaderLength = 7;
// The largest length field: the unit id and a PDU of at most 253 bytes.
constexpr int MaxLength = 254;

// The MBAP frame carrying RTU frame `rtu` (its CRC is dropped) as transaction `tid`; empty for a
// frame too short to carry a function code.
QByteArray wrap(const QByteArray &rtu, quint16 tid);

// The RTU frame carried by the complete MBAP frame `adu` (unit id, PDU and a fresh CRC).
QByteArray unwrap(const QByteArray &adu);

// Length of the MBAP frame at the start of `buffer`: its full length when all of it is there, 0
// while it is incomplete, -1 when the header cannot start a frame (a protocol id other than 0, a
// length out of range).
int frameLength(const QByteArray &buffer);

quint16 transactionId(const QByteArray &adu);

// True when the complete MBAP frame `adu` answers `request` (an MBAP frame as it was sent): the
// same transaction id (any id when `anyId`), the same unit id, and the request's function or
// its exception. A request to unit 0 (a probe for whoever is there, as on a serial line) takes the
// reply of any unit.
bool answers(const QByteArray &adu, const QByteArray &request, bool anyId);

} // namespace Mbap

#endif
