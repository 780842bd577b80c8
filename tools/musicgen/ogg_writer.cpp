// Ogg Vorbis encoding with libvorbisenc, into memory.
#include "tools/musicgen/ogg_writer.h"

#include <vorbis/vorbisenc.h>

static const size_t ENCODE_BLOCK = 1024;   // frames handed to the encoder at a time

struct OggEncoder {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
};

static void appendPage(std::string *file, const ogg_page &page)
{
    file->append(reinterpret_cast<const char *>(page.header), page.header_len);
    file->append(reinterpret_cast<const char *>(page.body), page.body_len);
}

static void writeHeaders(OggEncoder *encoder, std::string *file)
{
    ogg_packet identification, comments, codebooks;
    vorbis_analysis_headerout(&encoder->dsp, &encoder->comment, &identification, &comments,
                              &codebooks);
    ogg_stream_packetin(&encoder->stream, &identification);
    ogg_stream_packetin(&encoder->stream, &comments);
    ogg_stream_packetin(&encoder->stream, &codebooks);
    // The audio starts on a page of its own.
    ogg_page page;
    while (ogg_stream_flush(&encoder->stream, &page))
        appendPage(file, page);
}

// Takes every block the encoder has ready and writes the finished pages.
static void drainBlocks(OggEncoder *encoder, std::string *file)
{
    while (vorbis_analysis_blockout(&encoder->dsp, &encoder->block) == 1) {
        vorbis_analysis(&encoder->block, nullptr);
        vorbis_bitrate_addblock(&encoder->block);
        ogg_packet packet;
        while (vorbis_bitrate_flushpacket(&encoder->dsp, &packet)) {
            ogg_stream_packetin(&encoder->stream, &packet);
            ogg_page page;
            while (ogg_stream_pageout(&encoder->stream, &page))
                appendPage(file, page);
        }
    }
}

std::string ogg_encode(const float *samples, size_t frames, int rate, float quality)
{
    OggEncoder encoder;
    std::string file;
    vorbis_info_init(&encoder.info);
    if (vorbis_encode_init_vbr(&encoder.info, 2, rate, quality) != 0) {
        vorbis_info_clear(&encoder.info);
        return file;
    }
    vorbis_comment_init(&encoder.comment);
    vorbis_comment_add_tag(&encoder.comment, "ENCODER", "glimra-musicgen");
    vorbis_analysis_init(&encoder.dsp, &encoder.info);
    vorbis_block_init(&encoder.dsp, &encoder.block);
    ogg_stream_init(&encoder.stream, 1);
    writeHeaders(&encoder, &file);
    for (size_t done = 0; done < frames; done += ENCODE_BLOCK) {
        size_t count = frames - done < ENCODE_BLOCK ? frames - done : ENCODE_BLOCK;
        float **buffer = vorbis_analysis_buffer(&encoder.dsp, static_cast<int>(count));
        for (size_t i = 0; i < count; i++) {
            buffer[0][i] = samples[(done + i) * 2];
            buffer[1][i] = samples[(done + i) * 2 + 1];
        }
        vorbis_analysis_wrote(&encoder.dsp, static_cast<int>(count));
        drainBlocks(&encoder, &file);
    }
    vorbis_analysis_wrote(&encoder.dsp, 0);   // the end of the music
    drainBlocks(&encoder, &file);
    ogg_page page;
    while (ogg_stream_flush(&encoder.stream, &page))
        appendPage(&file, page);
    ogg_stream_clear(&encoder.stream);
    vorbis_block_clear(&encoder.block);
    vorbis_dsp_clear(&encoder.dsp);
    vorbis_comment_clear(&encoder.comment);
    vorbis_info_clear(&encoder.info);
    return file;
}
