// The playlist's check of a movie file: any bytes as a file, whose length is taken only when
// the fixed header matches and the length field is there. A positive length field is the
// length; a file whose field holds none (a writer that never finished, or garbage) is
// measured by walking what it holds, which must end with -1 or with no more seconds than the
// file has bytes.
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "app/PlaylistView.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::Folder() + "/movie.tvq";
    fuzz::WriteFile(path, data, size);
    const int32_t length = CPlaylistView::ReadMovieLength(path);

    static const char kHeader[] = "RIFF\0\0\0\0TVQ LIST\0\0\0\0hdrltvqh";
    const bool movie = size >= 88 && std::memcmp(data, kHeader, 28) == 0;
    if (size >= 28)
        fuzz::Check(CPlaylistView::IsTvqHeader(data) == (std::memcmp(data, kHeader, 28) == 0),
                    "the header check compares all 28 bytes, size fields included");
    if (!movie) {
        fuzz::Check(length == -1, "a short file or another header has no length");
        return 0;
    }
    const int hours = static_cast<int16_t>(data[86] | data[87] << 8);
    const int encoded = data[84] + 60 * (data[85] + 60 * hours);
    if (encoded > 0)
        fuzz::Check(length == encoded, "the length is seconds + 60 * (minutes + 60 * hours)");
    else
        fuzz::Check(length == -1 || (length > 0 && static_cast<size_t>(length) <= size),
                    "a measured length is -1 or a count of seconds the file can hold");
    return 0;
}
