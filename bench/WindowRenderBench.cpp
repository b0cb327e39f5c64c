// The window's RenderLcd of a changed frame, as the firmware calls it: the 912-byte frame painted into
// Image1's 229 x 133 canvas, every pixel as a 2 x 2 block, on Qt's offscreen platform (no display needed).
// Compare with the 20 ms frame period and with the converter and fill floors of tmx5bench.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "Pcmain.h"
#include "lcd/Lcd.h"
#include "runtime/HostPanel.h"

namespace {

TForm1* Form = nullptr;

void RenderLcdIntoTheWindowImage(benchmark::State& state) {
    // A busy frame: every other pixel lit, so both colours are written.
    for (int i = 0; i < LCD_BYTES; i++) FrameBuffer[i] = (u8)(i & 1 ? 0xAA : 0x55);
    // The window paints only a frame unlike the one on screen: change one
    // byte each time, so every call paints the whole display.
    for (auto _ : state) {
        FrameBuffer[0] ^= 1;
        Host->RenderLcd(Host->Context);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(RenderLcdIntoTheWindowImage);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    TForm1 form;
    Form = &form;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
