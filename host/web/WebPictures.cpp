// The page's side of the runner's pictures. The page is built without
// libpng and giflib (neither comes for WebAssembly with the system's
// compiler), so a script run in the page writes frames as .pbm and .txt, and
// the page's own buttons make pictures and animations of the display.
// WebScript.cpp refuses a script that asks for a .png snapshot or a movie
// before anything runs; what is left here answers the rest without pictures.
#include <cerrno>

#include "frames/FrameFiles.h"
#include "headless/Movie.h"

extern const char* const WebNoPictures;
const char* const WebNoPictures =
    "PNG/GIF files are not written in the page; use .pbm or the download buttons";

// No picture: the caller writes nothing (a failed expect-frame's .diff.png
// stays empty, and the page does not offer it).
std::string EncodePng(const PalettePicture&) {
    errno = ENOTSUP;
    return "";
}

Movie::~Movie() {}

bool Movie::Start(const std::string& path, int, const u8*, uint64_t) {
    path_ = path;
    error_ = WebNoPictures;
    return false;
}

bool Movie::Add(const u8*, uint64_t) { return false; }

bool Movie::Finish(uint64_t) { return false; }

uint64_t Movie::LengthCs(uint64_t) { return 0; }
