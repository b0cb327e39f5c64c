// The magnified display, the lamp and the display's hiding during a pass,
// all reached through the host panel the firmware calls.
#include "WindowTestSupport.h"

#include "lcd/Lcd.h"
#include "window/Controls.h"

#include <cstring>

namespace {

// Lights display pixel (x, y) the way the display memory stores it: bit
// y mod 8 of byte (y div 8) * 114 + x. Written out here, independent of the
// converter the window uses.
void Light(int x, int y) { FrameBuffer[(y / 8) * 114 + x] |= (u8)(1u << (y % 8)); }

const QRgb Marker = qRgb(255, 0, 255); // no colour the display ever draws

} // namespace

class RenderTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        // Only a frame unlike the one on screen is painted: put an all-lit
        // one on screen, then mark the canvas.
        std::memset(FrameBuffer, 0xFF, sizeof FrameBuffer);
        Host->RenderLcd(Host->Context);
        std::memset(FrameBuffer, 0, sizeof FrameBuffer);
        form->Image1->canvas().fill(Marker);
    }
    QRgb at(int x, int y) { return form->Image1->canvas().pixel(x, y); }
};

TEST_F(RenderTest, LitPixelBecomesABlack2x2BlockAndItsNeighboursStayUnlit) {
    const struct {
        const char* name;
        int x, y;
    } rows[] = {
        {"0,0", 0, 0},     {"113,0", 113, 0}, {"0,63", 0, 63}, {"113,63", 113, 63},
        {"57,31", 57, 31}, {"8,7", 8, 7},     {"9,8", 9, 8},   {"100,55", 100, 55},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::memset(FrameBuffer, 0, sizeof FrameBuffer);
        Light(row.x, row.y);
        Host->RenderLcd(Host->Context);
        const QRgb unlit = form->UnlitColour().rgb();
        for (int dy = -1; dy <= 2; dy++) {
            for (int dx = -1; dx <= 2; dx++) {
                int ix = 2 * row.x + dx, iy = 2 * row.y + dy;
                if (ix < 0 || iy < 0 || ix >= 228 || iy >= 128) continue;
                bool inBlock = dx >= 0 && dx <= 1 && dy >= 0 && dy <= 1;
                EXPECT_EQ(at(ix, iy), inBlock ? qRgb(0, 0, 0) : unlit) << "image pixel " << ix << "," << iy;
            }
        }
    }
}

TEST_F(RenderTest, WholeFrameIsCopiedAndTheLastColumnAndFiveRowsAreNeverDrawn) {
    // A checkerboard touches every byte and every bit of the display memory.
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 114; x++)
            if ((x + y) % 2 == 0) Light(x, y);
    Host->RenderLcd(Host->Context);
    const QRgb unlit = form->UnlitColour().rgb();
    int wrong = 0;
    for (int iy = 0; iy < 128; iy++)
        for (int ix = 0; ix < 228; ix++)
            if (at(ix, iy) != (((ix / 2 + iy / 2) % 2 == 0) ? qRgb(0, 0, 0) : unlit)) wrong++;
    EXPECT_EQ(wrong, 0);
    for (int iy = 0; iy < 133; iy++) EXPECT_EQ(at(228, iy), Marker) << "column 228, row " << iy;
    for (int iy = 128; iy < 133; iy++)
        for (int ix = 0; ix < 229; ix++) ASSERT_EQ(at(ix, iy), Marker) << ix << "," << iy;
}

TEST_F(RenderTest, UnlitColourFollowsTheColourSchemeAndLitStaysBlack) {
    QPalette pal = form->palette();
    pal.setColor(QPalette::Inactive, QPalette::Window, QColor(10, 120, 200));
    form->setPalette(pal);
    Light(3, 3);
    Host->RenderLcd(Host->Context);
    EXPECT_EQ(at(0, 0), qRgb(10, 120, 200));
    EXPECT_EQ(at(6, 6), qRgb(0, 0, 0));
}

TEST_F(RenderTest, LampTakesTheColourWordWithRedInTheLowByte) {
    const struct {
        const char* name;
        u32 word;
        QColor colour;
    } rows[] = {
        {"LAMP_BRIGHT 255", LAMP_BRIGHT, QColor(255, 0, 0)},
        {"LAMP_DARK 128", LAMP_DARK, QColor(128, 0, 0)},
        {"green byte", 0x00FF00, QColor(0, 255, 0)},
        {"blue byte", 0xFF0000, QColor(0, 0, 255)},
        {"black 0", 0, QColor(0, 0, 0)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Host->SetLampColour(Host->Context, row.word);
        EXPECT_EQ(form->Shape1->fill(), row.colour);
        EXPECT_EQ(form->Shape1->grab().toImage().pixelColor(11, 11), row.colour);
    }
}

TEST_F(RenderTest, DisplayIsHiddenOnlyWhileEventsRunWithItHidden) {
    // A pass hides the image, draws, renders and shows it again before the
    // window handles any event: nothing toggles, nothing is repainted.
    Host->ShowDisplay(Host->Context, 0);
    Light(3, 3);
    Host->RenderLcd(Host->Context);
    Host->ShowDisplay(Host->Context, 1);
    EXPECT_TRUE(form->Image1->isVisible());
    // Hidden while the window handles events, it is hidden on screen.
    Host->ShowDisplay(Host->Context, 0);
    IdlePoint();
    EXPECT_TRUE(form->Image1->isHidden());
    Host->ShowDisplay(Host->Context, 1);
    IdlePoint();
    EXPECT_TRUE(form->Image1->isVisible());
}

TEST_F(RenderTest, OnlyAChangedFrameIsRepainted) {
    Light(5, 5);
    Host->RenderLcd(Host->Context);
    const quint64 repaints = form->Session().Repaints();
    Host->RenderLcd(Host->Context); // the same frame again
    EXPECT_EQ(form->Session().Repaints(), repaints);
    Light(6, 5);
    Host->RenderLcd(Host->Context);
    EXPECT_EQ(form->Session().Repaints(), repaints + 1);
    EXPECT_EQ(at(12, 10), qRgb(0, 0, 0));
}

TEST_F(RenderTest, RenderedFrameReachesTheScreen) {
    Light(0, 0);
    Host->RenderLcd(Host->Context);
    IdlePoint();
    QImage shown = form->grab().toImage();
    // Image1 sits at 1,1 inside Panel1 at 39,91.
    EXPECT_EQ(shown.pixel(40, 92), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(41, 93), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(42, 92), form->UnlitColour().rgb());
}
