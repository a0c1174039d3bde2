// Names, sizes and the protocol constants (docs/protocol.md), shared by
// the VLPC module's sources; each is defined here once.
#ifndef VLPCDEFS_H
#define VLPCDEFS_H

#include "base/core/VLTypes.h"

// The module names under which the sources trace and throw.
#define VLMDVLPC_MODULE "VLMDVLPC"
#define VLMDVLPCENCRYPT_MODULE "VLMDVLPCEncrypt"
#define VLMIME_MODULE "VLMIME"

// A packet is one datagram: a 14-byte header, then at most 498 data bytes.
const int VLPC_HEADER_SIZE = 14;
const int VLPC_PACKET_CAPACITY = 512;
const int VLPC_MAGIC_LENGTH = 5;
const char VLPC_MAGIC[] = "ORVEK";
// A reply's type letter is the request's plus this.
const int VLPC_REPLY_LETTER_OFFSET = 0x20;
// The devices' UDP port, on their side in both directions.
const unsigned short VLPC_PORT = 48817;

// Payload cipher mode 1: rotation counts by the low three bits of the MAC
// address's last byte.
const unsigned short VLPC_WORD_CIPHER_TABLE[8] = {5, 11, 3, 14, 7, 1, 9, 13};
// Payload cipher mode 2: the key handed to the cipher object.
const int VLPC_ARC4_KEY_LENGTH = 32;
const VL_BYTE VLPC_ARC4_KEY[VLPC_ARC4_KEY_LENGTH] = {0x7c, 0x92, 0x37, 0xdd, 0x66, 0x20, 0x9a, 0x74, 0x68, 0x05, 0x33,
                                                     0x83, 0xa9, 0x11, 0xad, 0xc2, 0x24, 0xd6, 0x1a, 0x5f, 0xde, 0x2e,
                                                     0xc5, 0xa5, 0x9e, 0x18, 0xe3, 0xb5, 0x47, 0x83, 0xfe, 0x12};

#endif
