// Movie file headers, packed and unpacked, checked and described.
#include "movie_backend.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    platform::MovieInfo info;
    std::string error;
    if (platform::ReadMovieHeader(platform::MakeMemoryMovieReader(bytes, size), info, error))
        platform::DescribeMovie(info);
    return 0;
}
