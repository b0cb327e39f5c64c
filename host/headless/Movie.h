// A run recorded as an animated GIF: what `movie FILE.gif [Nx]` starts and
// `movie end` finishes.
//
// The movie holds the frame shown when it starts and then every frame that
// differs from the one before, each shown for the virtual time until the
// next one; a frame counts from the event point at which it is first seen.
// GIF delays count hundredths of a second; each delay is rounded so that the
// delays up to a frame add up to the virtual time up to its end, so the
// rounding never piles up and the movie lasts as long as the recording, to a
// hundredth. Players show a delay under 2 hundredths as a tenth of a second,
// so a frame shown for less (frame periods under 20 ms) gives its time to
// the next one instead. A frame shown for longer than one delay can say
// (655.35 s) is held by one-pixel images that change nothing.
//
// After the first, each image covers only the box where the frame changed,
// drawn over the one before: the home page's two ticking clocks cost about
// 320 bytes a second at 2x. The file is written as the run goes, so memory
// stays small however long the recording; the movie stops at MOVIE_MAX_BYTES,
// checked after every image. It is written to a temporary file beside the
// movie and takes the movie's name only when closed (SafeFiles.h), so a
// failed write leaves an older movie of that name as it was.
//
// Virtual time may step back while a movie records (load-state puts an
// earlier state back): the frames then shown count from where the movie had
// got to, as if no time had passed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "frames/SafeFiles.h"
#include "runtime/State.h"

struct GifFileType;

const uint64_t MOVIE_MAX_BYTES = 64ull << 20;

class Movie {
public:
    Movie() = default;
    ~Movie(); // an open movie is closed as it stands
    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;

    // Opens the file and takes frame (912 bytes, page layout), magnified
    // scale times, as the first picture, shown from nowMs on. False when the
    // file cannot be written; Error() says why.
    bool Start(const std::string& path, int scale, const u8* frame, uint64_t nowMs);

    // The frame shown at the event point at nowMs; nothing happens when it is
    // the one before. False on a write error (the movie is then closed).
    // Past maxBytes the movie is finished there and closes (IsOpen false,
    // Full true).
    bool Add(const u8* frame, uint64_t nowMs);

    // Shows the last frame until nowMs and closes the file. False on a write
    // error.
    bool Finish(uint64_t nowMs);

    bool IsOpen() const { return gif_ != nullptr; }
    bool Full() const { return full_; }
    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }
    int Images() const { return images_; }    // images in the file so far
    uint64_t Bytes() const { return bytes_; } // bytes written so far
    // How long the movie lasts if it ends at nowMs, in hundredths of a second.
    uint64_t LengthCs(uint64_t nowMs);
    void SetMaxBytes(uint64_t bytes) { maxBytes_ = bytes; }

private:
    static int Output(GifFileType* gif, const unsigned char* data, int n);
    uint64_t DelayUntil(uint64_t nowMs);
    bool WritePending(uint64_t delay);
    bool PutImage(int x0, int y0, int x1, int y1, uint64_t delay);
    bool Close();
    void Fail(const char* what, int gifError);

    std::string path_;
    std::string error_;
    AtomicFile file_;
    GifFileType* gif_ = nullptr;
    int scale_ = 2;
    int64_t startMs_ = 0;  // the virtual time the delays count from (moved on when time steps back)
    uint64_t shownCs_ = 0; // delays written so far, in hundredths of a second
    u8 canvas_[912] = {};  // what the file shows after its last image
    u8 pending_[912] = {}; // the frame shown now, not written yet
    int images_ = 0;
    uint64_t bytes_ = 0;
    uint64_t maxBytes_ = MOVIE_MAX_BYTES;
    bool full_ = false;
};
