// The bounded reader of model bytes.
#include "models/bytes.h"

#include <cstring>

ByteReader byteReader(const uint8_t *data, size_t size)
{
    return {data, size, 0, false};
}

size_t bytesLeft(const ByteReader *reader, size_t end)
{
    if (end > reader->size)
        end = reader->size;
    return reader->position < end ? end - reader->position : 0;
}

void seekTo(ByteReader *reader, size_t position)
{
    reader->position = position < reader->size ? position : reader->size;
}

bool readBytes(ByteReader *reader, void *out, size_t count)
{
    if (count > reader->size - reader->position) {
        memset(out, 0, count);
        reader->position = reader->size;
        reader->failed = true;
        return false;
    }
    memcpy(out, reader->data + reader->position, count);
    reader->position += count;
    return true;
}

uint8_t readU8(ByteReader *reader)
{
    uint8_t byte;
    readBytes(reader, &byte, 1);
    return byte;
}

// Little- or big-endian unsigned integer of `count` bytes.
static uint32_t readUnsigned(ByteReader *reader, size_t count, bool bigEndian)
{
    uint8_t bytes[4];
    readBytes(reader, bytes, count);
    uint32_t value = 0;
    for (size_t i = 0; i < count; i++) {
        size_t shift = bigEndian ? (count - 1 - i) * 8 : i * 8;
        value |= static_cast<uint32_t>(bytes[i]) << shift;
    }
    return value;
}

static float floatFromBits(uint32_t bits)
{
    float value;
    memcpy(&value, &bits, sizeof(value));
    return value;
}

uint16_t readU16LE(ByteReader *reader) { return static_cast<uint16_t>(readUnsigned(reader, 2, false)); }
uint32_t readU32LE(ByteReader *reader) { return readUnsigned(reader, 4, false); }
float readFloatLE(ByteReader *reader) { return floatFromBits(readU32LE(reader)); }
uint16_t readU16BE(ByteReader *reader) { return static_cast<uint16_t>(readUnsigned(reader, 2, true)); }
uint32_t readU32BE(ByteReader *reader) { return readUnsigned(reader, 4, true); }
float readFloatBE(ByteReader *reader) { return floatFromBits(readU32BE(reader)); }

void readString(ByteReader *reader, size_t end, char *out, size_t capacity)
{
    size_t kept = 0;
    while (bytesLeft(reader, end) > 0) {
        char c = static_cast<char>(reader->data[reader->position++]);
        if (c == '\0')
            break;
        if (kept + 1 < capacity)
            out[kept++] = c;
    }
    out[kept] = '\0';
}
