#include "vorbis_encode.h"

#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>

std::vector<uint8_t> EncodeVorbis(const std::vector<int16_t>& samples, int channels, long rate, float quality,
                                  int serial, const char* encoder)
{
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) {
        vorbis_info_clear(&info);
        return {};
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    if (encoder)
        vorbis_comment_add_tag(&comment, "ENCODER", encoder);
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);

    std::vector<uint8_t> ogg;
    ogg_page page;
    auto putPage = [&] {
        ogg.insert(ogg.end(), page.header, page.header + page.header_len);
        ogg.insert(ogg.end(), page.body, page.body + page.body_len);
    };
    ogg_packet header, commentHeader, codeHeader;
    vorbis_analysis_headerout(&dsp, &comment, &header, &commentHeader, &codeHeader);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &commentHeader);
    ogg_stream_packetin(&stream, &codeHeader);
    while (ogg_stream_flush(&stream, &page) != 0)
        putPage();

    // Whole frames in blocks, then an empty write that marks the end.
    const size_t frames = samples.size() / size_t(channels);
    size_t at = 0;
    for (;;) {
        const size_t count = std::min<size_t>(1024, frames - at);
        if (count > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, int(count));
            for (size_t i = 0; i < count; ++i)
                for (int c = 0; c < channels; ++c)
                    buffer[c][i] = float(samples[(at + i) * size_t(channels) + size_t(c)]) / 32768.0f;
        }
        vorbis_analysis_wrote(&dsp, int(count));
        at += count;
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0)
                    putPage();
            }
        }
        if (count == 0)
            break;
    }
    while (ogg_stream_flush(&stream, &page) != 0)
        putPage();
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return ogg;
}
