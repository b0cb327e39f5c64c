// The window's layout: every control's name, kind, place, caption and
// stacking, and the window's own caption, size and borders. The rows are
// written out here rather than read from Layout.h, so a slip there fails.
#include "WindowTestSupport.h"

#include "window/Controls.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>

namespace {

struct ControlRow {
    const char* name;
    const char* kind; // Qt class the control must be
    int left, top, width, height;
    const char* caption; // nullptr: no caption to check
};

// In creation order; Image1 lies inside Panel1 and is checked there.
const ControlRow Controls[] = {
    {"Image2", "QLabel", 0, 0, 310, 310, nullptr},
    {"Label15", "QLabel", 384, 16, 24, 13, "2048"},
    {"Shape1", "LampShape", 143, 17, 23, 23, nullptr},
    {"Image3", "ClickArea", 65, 235, 49, 49, nullptr},
    {"Image5", "ClickArea", 130, 246, 49, 49, nullptr},
    {"Image6", "ClickArea", 197, 234, 49, 49, nullptr},
    {"Label11", "QLabel", 352, 16, 22, 13, "OAT"},
    {"Button1", "QPushButton", 24, 328, 129, 49, "ON"},
    {"Button2", "QPushButton", 176, 328, 137, 49, "OFF"},
    {"TrackBar6", "QSlider", 416, 8, 201, 33, nullptr},
    {"StatusBar1", "QStatusBar", 0, 385, 621, 19, nullptr},
    {"Panel1", "QFrame", 39, 91, 231, 135, nullptr},
    {"CheckBox2", "QCheckBox", 360, 56, 97, 17, "Calibrate"},
    {"CheckBox3", "QCheckBox", 472, 56, 97, 17, "KeyFast"},
    {"Button3", "QPushButton", 1, 285, 56, 25, "Clockwise"},
    {"Button4", "QPushButton", 235, 287, 75, 25, "AntiClockwise"},
};

QString captionOf(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    return QString();
}

} // namespace

class LayoutTest : public WindowTest {};

TEST_F(LayoutTest, EveryControlHasItsNameKindPlaceAndCaption) {
    for (const ControlRow& row : Controls) {
        SCOPED_TRACE(row.name);
        QWidget* w = form->findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget(), form);
        EXPECT_TRUE(w->inherits(row.kind)) << w->metaObject()->className();
        EXPECT_EQ(w->geometry(), QRect(row.left, row.top, row.width, row.height));
        if (row.caption) {
            EXPECT_EQ(captionOf(w), QString::fromLatin1(row.caption));
        }
    }
}

TEST_F(LayoutTest, LaterControlsLieOnTopOfEarlierOnes) {
    // Qt keeps siblings in stacking order, bottom first.
    const QObjectList& stack = form->children();
    int previous = -1;
    for (const ControlRow& row : Controls) {
        SCOPED_TRACE(row.name);
        int at = stack.indexOf(form->findChild<QWidget*>(QString::fromLatin1(row.name)));
        ASSERT_GE(at, 0);
        EXPECT_GT(at, previous);
        previous = at;
    }
    // The lamp and the three click areas must be above the face, and the
    // knob buttons above it where they overlap its corners.
    EXPECT_EQ(form->childAt(154, 28), form->Shape1);
    EXPECT_EQ(form->childAt(89, 259), form->Image3);
    EXPECT_EQ(form->childAt(154, 270), form->Image5);
    EXPECT_EQ(form->childAt(221, 258), form->Image6);
    EXPECT_EQ(form->childAt(20, 300), form->Button3);
    EXPECT_EQ(form->childAt(290, 300), form->Button4);
    EXPECT_EQ(form->childAt(150, 150), form->Image1);
}

TEST_F(LayoutTest, DisplayImageFillsItsPanel) {
    ASSERT_EQ(form->Image1->parentWidget(), form->Panel1);
    EXPECT_EQ(form->Image1->objectName(), QStringLiteral("Image1"));
    EXPECT_EQ(form->Image1->geometry(), QRect(1, 1, 229, 133));
    EXPECT_EQ(form->Image1->canvas().size(), QSize(229, 133));
}

TEST_F(LayoutTest, WindowIsFixedCentredCaptionedAndCannotBeMaximised) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Solvanta TMX-5"));
    EXPECT_EQ(form->size(), QSize(621, 404));
    EXPECT_EQ(form->minimumSize(), QSize(621, 404));
    EXPECT_EQ(form->maximumSize(), QSize(621, 404));
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form->font().pixelSize(), 11);
}

TEST_F(LayoutTest, ControlsStartInTheirStoredState) {
    EXPECT_EQ(form->TrackBar6->orientation(), Qt::Horizontal);
    EXPECT_EQ(form->TrackBar6->minimum(), 0);
    EXPECT_EQ(form->TrackBar6->maximum(), 4096);
    EXPECT_EQ(form->TrackBar6->value(), 2048);
    EXPECT_EQ(form->TrackBar6->tickPosition(), QSlider::NoTicks);
    EXPECT_FALSE(form->CheckBox2->isChecked());
    EXPECT_FALSE(form->CheckBox3->isChecked());
    EXPECT_TRUE(form->StatusBar1->currentMessage().isEmpty());
    EXPECT_EQ(form->Timer1->objectName(), QStringLiteral("Timer1"));
    EXPECT_EQ(form->Timer1->interval(), 100);
    // The tick fires on virtual time, from the simulated clock, never from
    // the wall clock.
    EXPECT_FALSE(form->Timer1->isActive());
    // Bright red until the first pass of the main loop sets the lamp.
    EXPECT_EQ(form->Shape1->fill(), QColor(255, 0, 0));
}

TEST_F(LayoutTest, FacePictureAndIconAreDecoded) {
    // The face is a JPEG built into the program; an empty pixmap here means
    // the resource or Qt's JPEG reader is missing.
    QPixmap face = form->Image2->pixmap();
    ASSERT_FALSE(face.isNull());
    EXPECT_EQ(face.size(), QSize(310, 310));
    QImage picture = face.toImage();
    // White ground in the corner, black face in the middle, red lamp under
    // Shape1, grey display window under Panel1.
    EXPECT_GT(qGray(picture.pixel(2, 2)), 230);
    EXPECT_LT(qGray(picture.pixel(155, 236)), 40);
    QColor lamp = picture.pixelColor(154, 28);
    EXPECT_GT(lamp.red(), 150);
    EXPECT_LT(lamp.green(), 80);
    QColor glass = picture.pixelColor(150, 150);
    EXPECT_GT(glass.value(), 100);
    EXPECT_LT(glass.saturation(), 40);
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_TRUE(form->windowIcon().availableSizes().contains(QSize(32, 32)));
}

TEST_F(LayoutTest, FaceAreasAndKnobButtonsNameTheirKeys) {
    const struct {
        QWidget* control;
        const char* mentions;
    } rows[] = {
        {form->Image3, "F1"},     {form->Image5, "Return"}, {form->Image5, "Space"}, {form->Image6, "F2"},
        {form->Button3, "Right"}, {form->Button3, "Up"},    {form->Button4, "Left"}, {form->Button4, "Down"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mentions);
        EXPECT_TRUE(row.control->toolTip().contains(QLatin1String(row.mentions)))
            << row.control->toolTip().toStdString();
    }
}
