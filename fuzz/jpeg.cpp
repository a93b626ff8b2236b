// A picture file as the program loads its logo: by name, through the
// picture's choice of format, into a JPEG image and its bitmap.
#include "classlib/Graphics.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = WriteScratchFile("logo.jpg", InputBytes(data, size));
    TPicture picture;
    try {
        picture.LoadFromFile(path);
    } catch (const EInvalidGraphic&) {
        // A stream the decoder refuses.
    }
    return 0;
}
