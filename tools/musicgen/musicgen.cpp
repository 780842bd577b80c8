// glimra-musicgen: writes the example demo's music as an Ogg Vorbis file.
//
//     glimra-musicgen OUTPUT.ogg [SECONDS]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/musicgen/ogg_writer.h"
#include "tools/musicgen/synth.h"

static const float DEFAULT_SECONDS = 30.0f;
static const float MAX_SECONDS = 600.0f;
static const float QUALITY = 0.1f;   // about 80 kbit/s

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s OUTPUT.ogg [SECONDS]\n", argv[0]);
        return 2;
    }
    float seconds = argc == 3 ? strtof(argv[2], nullptr) : DEFAULT_SECONDS;
    if (!(seconds > 0.0f && seconds <= MAX_SECONDS)) {
        fprintf(stderr, "%s: SECONDS must be above 0 and at most %.0f\n", argv[0], MAX_SECONDS);
        return 2;
    }
    std::vector<float> track = synth_track(seconds);
    std::string file = ogg_encode(track.data(), track.size() / 2, SYNTH_RATE, QUALITY);
    FILE *out = fopen(argv[1], "wb");
    if (file.empty() || !out || fwrite(file.data(), 1, file.size(), out) != file.size() ||
        fclose(out) != 0) {
        fprintf(stderr, "%s: cannot write '%s'\n", argv[0], argv[1]);
        return 1;
    }
    printf("%s: %.1f seconds, %zu bytes\n", argv[1], seconds, file.size());
    return 0;
}
