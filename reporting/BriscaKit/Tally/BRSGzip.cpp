#include "reporting/BriscaKit/Tally/BRSGzip.h"

#include <zlib.h>

namespace {

constexpr size_t kChunk = 5120;

}  // namespace

int BRSGzipCompressFile(std::FILE* input, std::FILE* output)
{
    if (!input || !output)
        return -1;
    z_stream stream{};
    // Window bits 31: a gzip wrapper around a 32 KB window; memory level 4.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 4, Z_DEFAULT_STRATEGY) != Z_OK)
        return -1;
    unsigned char in[kChunk];
    unsigned char out[kChunk];
    int result = Z_OK;
    bool finished = false;
    while (!finished) {
        const size_t read = std::fread(in, 1, sizeof in, input);
        if (std::ferror(input)) {
            deflateEnd(&stream);
            return -1;
        }
        const int flush = std::feof(input) ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = in;
        stream.avail_in = unsigned(read);
        // Input that does not compress may fill the buffer more than once.
        do {
            stream.next_out = out;
            stream.avail_out = sizeof out;
            result = deflate(&stream, flush);
            if (result == Z_STREAM_ERROR) {
                deflateEnd(&stream);
                return -1;
            }
            const size_t produced = sizeof out - stream.avail_out;
            if (std::fwrite(out, 1, produced, output) != produced || std::ferror(output)) {
                deflateEnd(&stream);
                return -1;
            }
        } while (stream.avail_out == 0);
        if (stream.avail_in != 0) {
            deflateEnd(&stream);
            return -1;
        }
        finished = flush == Z_FINISH;
    }
    deflateEnd(&stream);
    return result == Z_STREAM_END && std::fflush(output) == 0 ? 0 : -1;
}
