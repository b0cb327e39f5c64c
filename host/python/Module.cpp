// The extension module _tmx5: the live instrument for the package tmx5
// (tmx5/__init__.py), which gives it its Python face.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>

#include "LiveInstrument.h"
#include "frames/FrameConvert.h"
#include "runtime/Runtime.h"
#include "state/StateFile.h"
#include "state/StateNames.h"

namespace py = pybind11;

namespace {

// The one instrument's calls must not nest: a signal handler that runs during
// a long wait must not drive the instrument it interrupted.
bool busy = false;

struct Busy {
    Busy() {
        if (busy)
            throw std::runtime_error(
                "the instrument is busy with another call (a signal handler cannot drive it)");
        busy = true;
    }
    ~Busy() { busy = false; }
};

py::tuple Outcome(const LiveInstrument::Result& r) {
    // The poll stopped the run because a signal handler raised: raise it here.
    if (r.status == 3 && PyErr_Occurred()) throw py::error_already_set();
    return py::make_tuple(r.status, r.out, r.err);
}

LiveInstrument& Open(LiveInstrument& inst) {
    if (inst.Closed()) throw std::runtime_error("this tmx5.Instrument is closed");
    return inst;
}

// Runs a call with Ctrl+C (and any other Python signal handler) checked
// during long waits.
template <typename F>
py::tuple Guarded(LiveInstrument& inst, F call) {
    Busy guard;
    Open(inst);
    inst.SetPoll([] { return PyErr_CheckSignals() != 0; });
    LiveInstrument::Result r = call();
    inst.SetPoll(nullptr);
    return Outcome(r);
}

} // namespace

PYBIND11_MODULE(_tmx5, m) {
    m.doc() = "The TMX-5 firmware on the headless host's virtual clock (see the package tmx5).";
    m.attr("FIRMWARE_VERSION") = py::str(FirmwareVersion);
    m.attr("VERSION") = py::str(TMX5_VERSION);
    m.attr("WIDTH") = (int)LCD_WIDTH;
    m.attr("HEIGHT") = (int)LCD_HEIGHT;

    m.def("state_names", [] {
        py::list names;
        for (const StateName& n : StateNames()) names.append(py::make_tuple(n.name, n.count, n.min, n.max));
        return names;
    });

    py::class_<LiveInstrument>(m, "Core")
        .def(py::init([] {
            Busy guard;
            return new LiveInstrument();
        }))
        .def("command",
             [](LiveInstrument& inst, const std::vector<std::string>& words) {
                 return Guarded(inst, [&] { return inst.Command(words); });
             })
        .def("script",
             [](LiveInstrument& inst, const std::string& text, const std::string& name,
                const std::string& base) {
                 return Guarded(inst, [&] { return inst.Script(text, name, base); });
             })
        .def("read",
             [](LiveInstrument& inst, const std::string& name) {
                 std::string value, why;
                 const bool ok = Open(inst).Read(name, &value, &why);
                 return py::make_tuple(ok, ok ? value : why);
             })
        .def("frame",
             [](LiveInstrument& inst) {
                 u8 pixels[LCD_HEIGHT][LCD_WIDTH];
                 FrameToPixels(Open(inst).Host().Panel().Frame(), pixels);
                 return py::bytes(reinterpret_cast<const char*>(pixels), sizeof pixels);
             })
        .def("state_text",
             [](LiveInstrument& inst) {
                 Open(inst);
                 if (PowerState == POWER_SPLASH)
                     return py::make_tuple(
                         false, std::string("save-state: the instrument is in its splash; save after it"));
                 return py::make_tuple(true, FormatStateFile(CaptureInstrument(inst.Host().Snapshot())));
             })
        .def("coverage_json", [](LiveInstrument& inst) { return CoverageJson(Open(inst).Coverage()); })
        .def("coverage_line", [](LiveInstrument& inst) { return CoverageLine(Open(inst).Coverage()); })
        .def("coverage_html",
             [](LiveInstrument& inst, const std::string& path, const std::string& title) {
                 std::string why;
                 if (!WriteTextFile(path, CoverageHtml(Open(inst).Coverage(), title), &why))
                     throw py::value_error(why);
             })
        .def("close",
             [](LiveInstrument& inst) {
                 Busy guard;
                 inst.Close();
             })
        .def_property_readonly("closed", &LiveInstrument::Closed)
        .def_property_readonly("virtual_ms", [](LiveInstrument& inst) { return Open(inst).Host().NowMs(); })
        .def_property_readonly("event_points",
                               [](LiveInstrument& inst) { return Open(inst).Host().EventPoints(); })
        .def_property_readonly("passes", [](LiveInstrument& inst) { return Open(inst).Passes(); })
        .def_property_readonly("frame_ms",
                               [](LiveInstrument& inst) { return Open(inst).Host().Sim().FrameMs(); })
        .def_property_readonly("host_utc_ms",
                               [](LiveInstrument& inst) { return Open(inst).Host().Snapshot().hostUtcMs; })
        .def_property_readonly("track_bar",
                               [](LiveInstrument& inst) { return Open(inst).Host().Panel().TrackBar(); })
        .def_property_readonly("calibrate",
                               [](LiveInstrument& inst) { return Open(inst).Host().Panel().Calibrate(); })
        .def_property_readonly("keyfast",
                               [](LiveInstrument& inst) { return Open(inst).Host().Panel().KeyFast(); })
        .def_property_readonly(
            "display_visible",
            [](LiveInstrument& inst) { return Open(inst).Host().Panel().DisplayVisible(); })
        .def_property_readonly("renders",
                               [](LiveInstrument& inst) { return Open(inst).Host().Panel().Renders(); });
}
