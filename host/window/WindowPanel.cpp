#include "WindowPanel.h"

#include "Pcmain.h"

static TForm1* PanelForm = nullptr;

static void PanelRenderLcd(void) {
    if (PanelForm) PanelForm->RenderLcd();
}

static void PanelPumpEvents(void) {
    if (PanelForm) PanelForm->PumpEvents();
}

static u8 PanelCalibrateChecked(void) {
    return PanelForm ? PanelForm->CalibrateChecked() : 0;
}

static u8 PanelKeyFastChecked(void) {
    return PanelForm ? PanelForm->KeyFastChecked() : 0;
}

static void PanelSetLampColour(u32 colour) {
    if (PanelForm) PanelForm->SetLampColour(colour);
}

static void PanelShowDisplay(u8 visible) {
    if (PanelForm) PanelForm->ShowDisplay(visible);
}

const HostPanel WindowPanel = {
    PanelRenderLcd, PanelPumpEvents, PanelCalibrateChecked,
    PanelKeyFastChecked, PanelSetLampColour, PanelShowDisplay,
};

void AttachWindowPanel(TForm1* form) {
    PanelForm = form;
    HostAttach(form ? &WindowPanel : nullptr, nullptr);
}
