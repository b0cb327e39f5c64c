#include "Movie.h"

#include <gif_lib.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "frames/FrameConvert.h"
#include "frames/FrameFiles.h"

static const uint64_t MIN_DELAY = 2; // hundredths; players stretch a shorter delay to ten
static const uint64_t MAX_DELAY = 65535;

static uint64_t Hundredths(uint64_t ms) { return (ms + 5) / 10; }

static std::string GifText(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "GIF error " + std::to_string(code);
}

Movie::~Movie() {
    if (gif_) Close();
}

int Movie::Output(GifFileType* gif, const GifByteType* data, int n) {
    Movie* m = static_cast<Movie*>(gif->UserData);
    const size_t done = std::fwrite(data, 1, (size_t)n, m->file_.File());
    m->bytes_ += done;
    if (done != (size_t)n && m->error_.empty()) m->error_ = std::strerror(errno);
    return (int)done;
}

void Movie::Fail(const char* what, int gifError) {
    if (error_.empty()) error_ = std::string(what) + ": " + GifText(gifError);
    if (gif_) Close();
}

bool Movie::Start(const std::string& path, int scale, const u8* frame, uint64_t nowMs) {
    if (gif_) Close();
    path_ = path;
    error_.clear();
    scale_ = scale;
    startMs_ = (int64_t)nowMs;
    shownCs_ = 0;
    images_ = 0;
    bytes_ = 0;
    full_ = false;
    std::memcpy(pending_, frame, sizeof pending_);
    if (!file_.Open(path)) {
        error_ = file_.Error();
        return false;
    }
    int err = 0;
    gif_ = EGifOpen(this, Output, &err);
    if (!gif_) {
        error_ = GifText(err);
        file_.Abort();
        return false;
    }
    EGifSetGifVersion(gif_, true);
    const GifColorType colours[2] = {{PICTURE_UNLIT.r, PICTURE_UNLIT.g, PICTURE_UNLIT.b},
                                     {PICTURE_LIT.r, PICTURE_LIT.g, PICTURE_LIT.b}};
    ColorMapObject* map = GifMakeMapObject(2, colours);
    const bool described =
        map && EGifPutScreenDesc(gif_, LCD_WIDTH * scale, LCD_HEIGHT * scale, 8, 0, map) == GIF_OK;
    GifFreeMapObject(map);
    // Played in a loop, like any animation on a page.
    static const unsigned char loop[3] = {1, 0, 0};
    if (!described || EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") != GIF_OK ||
        EGifPutExtensionBlock(gif_, 3, loop) != GIF_OK || EGifPutExtensionTrailer(gif_) != GIF_OK) {
        Fail("header", gif_->Error);
        return false;
    }
    return true;
}

// The hundredths from the delays written so far to nowMs. When virtual time
// stepped back behind them, the movie's origin moves back with it: the
// movie goes on from where it had got to, as if no time had passed.
uint64_t Movie::DelayUntil(uint64_t nowMs) {
    const int64_t now = (int64_t)nowMs;
    if (now < startMs_ || now - startMs_ + 5 < (int64_t)shownCs_ * 10)
        startMs_ = now - (int64_t)shownCs_ * 10;
    return Hundredths((uint64_t)(now - startMs_)) - shownCs_;
}

uint64_t Movie::LengthCs(uint64_t nowMs) { return gif_ ? shownCs_ + DelayUntil(nowMs) : shownCs_; }

bool Movie::Add(const u8* frame, uint64_t nowMs) {
    if (!gif_ || std::memcmp(frame, pending_, sizeof pending_) == 0) return true;
    const uint64_t delay = DelayUntil(nowMs);
    // A frame shown too briefly to play gives its time to this one.
    if (delay >= MIN_DELAY && !WritePending(delay)) return false;
    if (!gif_) return error_.empty(); // stopped at its size limit
    std::memcpy(pending_, frame, sizeof pending_);
    return true;
}

bool Movie::Finish(uint64_t nowMs) {
    if (!gif_) return error_.empty();
    const uint64_t delay = DelayUntil(nowMs);
    // A frame first seen as the movie ends is not shown in it.
    if ((images_ == 0 || delay > 0) && !WritePending(delay)) return false;
    return gif_ ? Close() : error_.empty();
}

bool Movie::WritePending(uint64_t delay) {
    // The box where the frame changed; the whole picture first.
    int x0 = 0, y0 = 0, x1 = LCD_WIDTH - 1, y1 = LCD_HEIGHT - 1;
    if (images_ > 0) {
        x0 = LCD_WIDTH, y0 = LCD_HEIGHT, x1 = -1, y1 = -1;
        for (int y = 0; y < LCD_HEIGHT; y++)
            for (int x = 0; x < LCD_WIDTH; x++)
                if (FramePixel(pending_, x, y) != FramePixel(canvas_, x, y)) {
                    if (x < x0) x0 = x;
                    if (x > x1) x1 = x;
                    if (y < y0) y0 = y;
                    y1 = y;
                }
    }
    bool ok;
    if (x1 < 0) // back to the picture the file shows (a briefer frame left out): one pixel as it is
        ok = PutImage(0, 0, 1, 1, delay > MAX_DELAY ? MAX_DELAY : delay);
    else
        ok = PutImage(x0 * scale_, y0 * scale_, (x1 - x0 + 1) * scale_, (y1 - y0 + 1) * scale_,
                      delay > MAX_DELAY ? MAX_DELAY : delay);
    if (!ok) return false;
    std::memcpy(canvas_, pending_, sizeof canvas_);
    // Held longer than one delay can say: the rest on one-pixel images, up to
    // the size limit like any other image.
    for (uint64_t left = delay > MAX_DELAY ? delay - MAX_DELAY : 0; left > 0 && !full_;) {
        const uint64_t part = left > MAX_DELAY ? MAX_DELAY : left;
        if (!PutImage(0, 0, 1, 1, part)) return false;
        left -= part;
    }
    shownCs_ += delay;
    return true;
}

bool Movie::PutImage(int left, int top, int width, int height, uint64_t delay) {
    GraphicsControlBlock gcb;
    gcb.DisposalMode = DISPOSE_DO_NOT; // the next image is drawn over this one
    gcb.UserInputFlag = false;
    gcb.DelayTime = (int)delay;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType control[4];
    EGifGCBToExtension(&gcb, control);
    if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, control) != GIF_OK ||
        EGifPutImageDesc(gif_, left, top, width, height, false, nullptr) != GIF_OK) {
        Fail("image", gif_->Error);
        return false;
    }
    std::vector<GifPixelType> line((size_t)width);
    for (int y = top; y < top + height; y++) {
        for (int x = 0; x < width; x++)
            line[(size_t)x] = FramePixel(pending_, (left + x) / scale_, y / scale_);
        if (EGifPutLine(gif_, line.data(), width) != GIF_OK) {
            Fail("image", gif_->Error);
            return false;
        }
    }
    images_++;
    if (bytes_ > maxBytes_) {
        // The movie ends with this image, a whole GIF.
        full_ = true;
        return Close();
    }
    return true;
}

// Ends the GIF and gives the file the movie's name; after an error the
// temporary file goes and an older movie of that name stays.
bool Movie::Close() {
    int err = 0;
    if (EGifCloseFile(gif_, &err) != GIF_OK && error_.empty()) error_ = GifText(err);
    gif_ = nullptr;
    if (error_.empty() && !file_.Commit()) error_ = file_.Error();
    file_.Abort();
    return error_.empty();
}
