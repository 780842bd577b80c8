// The bounded reader every model reader reads through: a whole file in
// memory with the place its data ends. Reads never go past the end; a read
// that would fails, gives zero and leaves the position at the end.
#pragma once

#include <cstddef>
#include <cstdint>

struct ByteReader {
    const uint8_t *data;
    size_t size;               // bytes of data
    size_t position;           // never above size
    bool failed;               // a read ran past the end
};

ByteReader byteReader(const uint8_t *data, size_t size);

// Bytes between the position and `end` (0 when the position is past it).
size_t bytesLeft(const ByteReader *reader, size_t end);

// Moves to `position`, or to the end when that lies beyond it.
void seekTo(ByteReader *reader, size_t position);

// Copies `count` bytes; false (and the end reached) when fewer remain.
bool readBytes(ByteReader *reader, void *out, size_t count);

uint8_t readU8(ByteReader *reader);
uint16_t readU16LE(ByteReader *reader);
uint32_t readU32LE(ByteReader *reader);
float readFloatLE(ByteReader *reader);
uint16_t readU16BE(ByteReader *reader);
uint32_t readU32BE(ByteReader *reader);
float readFloatBE(ByteReader *reader);

// A zero-terminated string that ends by `end`: up to and including its zero
// byte. Keeps the first `capacity` - 1 bytes in `out`, skips the rest. A
// string with no zero before `end` takes all that is left.
void readString(ByteReader *reader, size_t end, char *out, size_t capacity);
