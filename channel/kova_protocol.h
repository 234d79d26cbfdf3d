/*
 * The game channel's protocol: the names and numbers the launcher (C++) and
 * the game's client (C) must agree on, written once for both. Plain C99 and
 * C++. It includes no other header of this project but the little-endian
 * codec, found by its bare name: the publisher's kit ships both headers in
 * one folder beside the client.
 *
 * The launcher runs a hidden window of class KOVA_PROTOCOL_WINDOW_CLASS. A
 * game registers the three messages by name (RegisterWindowMessageA) and
 *  - sends the handshake to that window, wParam its process id, lParam one of
 *    its own windows; the launcher that started it sends the handshake reply
 *    to that window before the send returns, wParam the same process id,
 *    lParam the launcher's window;
 *  - opens the shared block named after the launcher's window
 *    (KovaProtocolBlockName), KOVA_PROTOCOL_BLOCK_SIZE bytes;
 *  - writes a property's name into the block and sends the query, lParam
 *    non-zero; the launcher writes the value over it and the query returns
 *    KOVA_PROTOCOL_QUERY_ANSWERED, or KOVA_PROTOCOL_QUERY_FAILED with the
 *    block unwritten.
 */
#ifndef KOVA_PROTOCOL_H
#define KOVA_PROTOCOL_H

#include <stdint.h>
#include <stdio.h>

#include "kova_little_endian.h"

/* The launcher's message window class, which a game looks for. */
#define KOVA_PROTOCOL_WINDOW_CLASS "Korvelin_IPC"

/* Registered message names: the game registers the same names to get the
   same message ids. */
#define KOVA_PROTOCOL_QUERY_MESSAGE "TamberLink_QueryData"
#define KOVA_PROTOCOL_HANDSHAKE_MESSAGE "TamberLink_IPC"
#define KOVA_PROTOCOL_HANDSHAKE_REPLY_MESSAGE "TamberLink_IPC_Response"

/* The shared block: a 32-bit little-endian length word at offset 0, then
   that many text bytes with no terminator. A request and its reply share the
   place. */
#define KOVA_PROTOCOL_BLOCK_SIZE 65536u
#define KOVA_PROTOCOL_LENGTH_SIZE 4u
#define KOVA_PROTOCOL_TEXT_OFFSET KOVA_PROTOCOL_LENGTH_SIZE
/* The longest name, and the longest value, in bytes (65,532). */
#define KOVA_PROTOCOL_MAX_TEXT_SIZE (KOVA_PROTOCOL_BLOCK_SIZE - KOVA_PROTOCOL_TEXT_OFFSET)

/* What the query message returns: the reply is in the block, or the query
   failed (all 32 bits set). */
#define KOVA_PROTOCOL_QUERY_ANSWERED 0
#define KOVA_PROTOCOL_QUERY_FAILED (-1)

/* The block's name: "HWND" and eight digits, terminator included. */
#define KOVA_PROTOCOL_BLOCK_NAME_SIZE 13u

/* Writes the name of the block that belongs to the window whose handle value
   has `windowLow32` as its low 32 bits: "HWND" and eight upper-case,
   zero-padded hexadecimal digits, NUL-terminated. ("HWND%08X" gives the same
   text as "HWND%08.8X" for every 32-bit value, without the flag that the
   precision makes the compiler warn about.) */
static inline void KovaProtocolBlockName(uint32_t windowLow32,
                                         char name[KOVA_PROTOCOL_BLOCK_NAME_SIZE]) {
  snprintf(name, KOVA_PROTOCOL_BLOCK_NAME_SIZE, "HWND%08X", (unsigned)windowLow32);
}

/* The block's length word. The other process may write into the block at any
   time: the word is copied out once, through volatile reads, so that the
   bound a reader checks is the bound it uses. */
static inline uint32_t KovaProtocolReadLengthWord(const volatile unsigned char* block) {
  unsigned char word[KOVA_PROTOCOL_LENGTH_SIZE];
  unsigned i;
  for (i = 0; i < KOVA_PROTOCOL_LENGTH_SIZE; ++i) word[i] = block[i];
  return KovaReadLe32(word);
}

static inline void KovaProtocolWriteLengthWord(unsigned char* block, uint32_t length) {
  KovaWriteLe32(block, length);
}

#endif /* KOVA_PROTOCOL_H */
