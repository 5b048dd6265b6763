// Reading the OpenGL back buffer.
#include "framebuffer_gl.h"

#include <GL/gl.h>

#include <cstring>

namespace platform {

bool ReadBackBufferRGBA(int width, int height, std::vector<uint8_t>& pixels)
{
    if (width <= 0 || height <= 0)
        return false;
    const size_t rowBytes = size_t(width) * 4;
    std::vector<uint8_t> bottomUp(rowBytes * size_t(height));
    while (glGetError() != GL_NO_ERROR) {
    }
    GLint readBuffer = 0;
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    glReadBuffer(GLenum(readBuffer));
    if (glGetError() != GL_NO_ERROR)
        return false;
    pixels.resize(bottomUp.size());
    for (int row = 0; row < height; ++row)
        std::memcpy(&pixels[size_t(row) * rowBytes], &bottomUp[size_t(height - 1 - row) * rowBytes], rowBytes);
    return true;
}

}   // namespace platform
