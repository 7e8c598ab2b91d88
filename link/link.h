// SPDX-License-Identifier: GPL-3.0-or-later
// Module link: the command/reply protocol, the link-failure indication and the serial link.
#pragma once

constexpr int kBufSize = 25;   // in_buf and out_buf: 24 characters and a terminating zero
constexpr int kReplyMax = 24;  // a reply is read up to 24 bytes

extern int com_nummer;          // serial port number: the port of every exchange
extern char in_buf[kBufSize];   // the reply of the current transaction; byte 24 stays zero
extern char out_buf[kBufSize];  // the command of the current transaction
extern char owed[kBufSize];     // a command whose read timed out: its reply may yet come, late
extern double wert[8];          // u1..u6 in 1..6, the main reading in 7
extern int set[13];             // s0..s8 in 0..8 (0 the settings word), the module-type code in 12
extern double ewert[4];         // d1..d3 in 1..3

// Serial time-outs [s]: normal, while settings are written, from a recording file's opening.
constexpr double kTimeoutNormal = 0.6;
constexpr double kTimeoutSave = 2.0;
constexpr double kTimeoutRecording = 0.3;

// in_buf's first 24 bytes set to zero.
void clear_in_buf();
// One VV transaction; neither the reply nor the link state is examined.
void vollen();
// The link-failure indication: "NO CONNECTION" on P1_STATUS, P1_SAVE dimmed.
void uebertragungsfehler();
// P1_SAVE dimmed (1) or usable (0).
void dimSaveSettings(int dim);

// The transaction steps, named once and used by every site.
void tx_flush_out();
void tx_write();
void tx_flush_in();
// read: the reply into in_buf. A reply that can only be the late one of the command before
// (whose read timed out) is passed over and the read made once more, so no command takes
// another's reply; this can cost one more time-out.
void tx_read();
// read as the live poll makes it: whatever arrives first is the reply.
void tx_read_any();
// flush out, write, flush in, read: the exchange of every site but the D writes.
void tx_exchange();
// The same with tx_read_any, for the live poll.
void tx_exchange_any();

// The port of every later exchange, as the operator confirmed it or the settings file gave it.
void port_setzen(int port);
