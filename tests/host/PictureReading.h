// Reading the runner's pictures back with the libraries that any viewer
// uses: PNG through libpng, GIF through giflib.
#pragma once

#include <gif_lib.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/State.h"

struct RgbPicture {
    int width = 0, height = 0;
    std::vector<u8> rgb; // three bytes a pixel, rows top to bottom
    const u8* At(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
};

// The PNG bytes decoded to RGB; false with *why when libpng refuses them.
inline bool ReadPng(const std::string& bytes, RgbPicture* p, std::string* why) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        *why = image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    p->width = (int)image.width;
    p->height = (int)image.height;
    p->rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, p->rgb.data(), 0, nullptr)) {
        *why = image.message;
        return false;
    }
    return true;
}

// An animated GIF as a player shows it: the picture after each image is
// drawn over the ones before, and how long each stays.
struct GifMovie {
    int width = 0, height = 0;
    std::vector<RgbPicture> shown;
    std::vector<int> delays; // hundredths of a second
    std::vector<int> disposals;
    bool loops = false;
};

inline bool ReadGif(const std::string& path, GifMovie* m, std::string* why) {
    int err = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &err);
    if (!gif) {
        *why = GifErrorString(err);
        return false;
    }
    bool ok = DGifSlurp(gif) == GIF_OK && gif->SColorMap != nullptr;
    if (!ok) *why = GifErrorString(gif->Error);
    m->width = gif->SWidth;
    m->height = gif->SHeight;
    RgbPicture canvas;
    canvas.width = m->width, canvas.height = m->height;
    canvas.rgb.assign((size_t)m->width * m->height * 3, 0);
    // The loop extension comes before the first image.
    for (int e = 0; ok && gif->ImageCount > 0 && e < gif->SavedImages[0].ExtensionBlockCount; e++) {
        const ExtensionBlock& b = gif->SavedImages[0].ExtensionBlocks[e];
        m->loops = m->loops || (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
                                std::memcmp(b.Bytes, "NETSCAPE2.0", 11) == 0);
    }
    for (int i = 0; ok && i < gif->ImageCount; i++) {
        const SavedImage& s = gif->SavedImages[i];
        const GifImageDesc& d = s.ImageDesc;
        GraphicsControlBlock gcb;
        if (DGifSavedExtensionToGCB(gif, i, &gcb) != GIF_OK || d.Left < 0 || d.Top < 0 ||
            d.Left + d.Width > m->width || d.Top + d.Height > m->height || d.ColorMap) {
            *why = "image " + std::to_string(i) + " is outside the screen, or without its delay";
            ok = false;
            break;
        }
        for (int y = 0; y < d.Height; y++)
            for (int x = 0; x < d.Width; x++) {
                const int index = s.RasterBits[(size_t)y * d.Width + x];
                const GifColorType& c = gif->SColorMap->Colors[index % gif->SColorMap->ColorCount];
                u8* p = &canvas.rgb[((size_t)(d.Top + y) * m->width + d.Left + x) * 3];
                p[0] = c.Red, p[1] = c.Green, p[2] = c.Blue;
            }
        m->shown.push_back(canvas);
        m->delays.push_back(gcb.DelayTime);
        m->disposals.push_back(gcb.DisposalMode);
    }
    DGifCloseFile(gif, &err);
    return ok;
}
