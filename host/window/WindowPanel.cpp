#include "WindowPanel.h"

#include "Pcmain.h"

// Each operation reaches the form it was attached for through its context.
static TForm1* FormOf(void* context) { return static_cast<TForm1*>(context); }

static void PanelRenderLcd(void* context) { FormOf(context)->RenderLcd(); }
static void PanelPumpEvents(void* context) { FormOf(context)->PumpEvents(); }
static u8 PanelCalibrateChecked(void* context) { return FormOf(context)->CalibrateChecked(); }
static u8 PanelKeyFastChecked(void* context) { return FormOf(context)->KeyFastChecked(); }
static void PanelSetLampColour(void* context, u32 colour) { FormOf(context)->SetLampColour(colour); }
static void PanelShowDisplay(void* context, u8 visible) { FormOf(context)->ShowDisplay(visible); }

HostPanel WindowPanelFor(TForm1* form) {
    return HostPanel{form,
                     PanelRenderLcd,
                     PanelPumpEvents,
                     PanelCalibrateChecked,
                     PanelKeyFastChecked,
                     PanelSetLampColour,
                     PanelShowDisplay};
}
