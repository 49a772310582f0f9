// diagraw._core's side of diagraw.analysis: the sensor figures of loaded
// Raws (sensor/), returned as the JSON texts diagraw-probe prints, which
// python/diagraw/analysis.py turns into dicts. The heavy steps release the
// GIL.
#include "python/PythonRaw.h"
#include "raw/RawX10.h"
#include "sensor/FieldComparison.h"
#include "sensor/FramePair.h"
#include "sensor/FrameSeries.h"
#include "sensor/FrameStack.h"
#include "sensor/PhotonTransfer.h"
#include "sensor/SensorReports.h"
#include "sensor/StackFigures.h"

#include <pybind11/stl.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace py = pybind11;

namespace
{

// The samples an optional area shows, and the area itself.
struct AreaChoice
{
    bool given = false;
    ImageArea area;
    SampleSelection selection;

    AnalysedSamples Samples() const { return {given ? &area : nullptr, &selection}; }
};

AreaChoice AreaChoiceOf(py::handle value)
{
    AreaChoice choice;
    choice.given = !value.is_none();
    if (choice.given)
        choice.area = AreaOf(value, CRawX10::kMosaicSide);
    choice.selection = SamplesOfArea(CRawX10::kFieldWidth, CRawX10::kFieldHeight, choice.given ? &choice.area : nullptr);
    return choice;
}

py::object AreaTupleOf(const AreaChoice& choice)
{
    if (!choice.given)
        return py::none();
    return py::make_tuple(choice.area.x, choice.area.y, choice.area.width, choice.area.height);
}

FrameFacts FactsOf(const CPythonRaw& raw)
{
    return FactsOfFrame(py::str(raw.Path()), raw.Open()->Exif());
}

[[noreturn]] void Refuse(const std::string& name, const std::string& reason)
{
    throw py::value_error(name + ": " + reason);
}

void RefuseUnlikeFrames(const std::vector<FrameFacts>& facts)
{
    if (const std::optional<FrameRefusal> refusal = RefusalOfFrames(facts))
        Refuse(facts[refusal->frame].name, refusal->reason);
}

// A pair's figures and what its first frame says of the shot.
struct CPairResult
{
    ChannelPairFigures figures;
    FrameFacts facts;
};

CPairResult Pair(const CPythonRaw& a, const CPythonRaw& b, py::handle area)
{
    const AreaChoice choice = AreaChoiceOf(area);
    CPairResult result{{}, FactsOf(a)};
    const FrameFacts second = FactsOf(b);
    if (const std::optional<std::string> refusal = RefusalOfPair(result.facts, second))
        Refuse(second.name, *refusal);
    const std::shared_ptr<CLoadedRaw> first = a.Open();
    const std::shared_ptr<CLoadedRaw> other = b.Open();
    py::gil_scoped_release released;
    result.figures = ComputePairFigures(first->Raw().Samples(), other->Raw().Samples(), choice.selection);
    return result;
}

std::string PairJson(const CPairResult& pair, py::handle area)
{
    return PairReport(pair.figures, AreaChoiceOf(area).Samples(), ReportForm::Json);
}

std::string PtcJson(const CPairResult& dark, const std::vector<CPairResult>& flats, py::handle area)
{
    if (flats.empty())
        throw py::value_error("ptc needs at least one flat pair");
    std::vector<FrameFacts> facts = {dark.facts};
    std::vector<double> exposures;
    for (const CPairResult& flat : flats)
    {
        facts.push_back(flat.facts);
        exposures.push_back(flat.facts.ExposureSeconds());
    }
    RefuseUnlikeFrames(facts);
    std::array<PtcFigures, kChannels> figures;
    for (size_t channel = 0; channel < figures.size(); ++channel)
    {
        std::vector<PairFigures> points;
        for (const CPairResult& flat : flats)
            points.push_back(flat.figures[channel]);
        figures[channel] = FitPhotonTransfer(dark.figures[channel], points, exposures);
    }
    return PtcReport(figures, AreaChoiceOf(area).Samples(), ReportForm::Json);
}

std::string FieldsJson(const CPythonRaw& raw, py::handle area)
{
    const AreaChoice choice = AreaChoiceOf(area);
    const std::shared_ptr<CLoadedRaw> loaded = raw.Open();
    ColourFieldPairFigures figures;
    {
        py::gil_scoped_release released;
        figures = CompareFields(loaded->Raw().Samples(), choice.selection);
    }
    return FieldsReport(figures, choice.Samples(), ReportForm::Json);
}

StackKind KindOf(const std::string& kind)
{
    if (kind == "darks")
        return StackKind::Darks;
    if (kind == "flats")
        return StackKind::Flats;
    throw py::value_error("kind must be 'darks' or 'flats', not '" + kind + "'");
}

// A stack being read: the accumulators, and the facts of its first frame
// that every later one (and every merged stack) must share. One thread at
// a time changes it; add() works with the GIL released.
class CPythonStack
{
public:
    CPythonStack(const std::string& kind, py::handle area)
        : m_kind(KindOf(kind)), m_area(AreaChoiceOf(area)), m_stack(EmptyStack(m_area.selection))
    {
    }

    std::string Kind() const { return m_kind == StackKind::Darks ? "darks" : "flats"; }
    int64_t Frames() const { return m_stack.frames; }
    py::object Area() const { return AreaTupleOf(m_area); }

    void Add(const CPythonRaw& raw)
    {
        const FrameFacts facts = FactsOf(raw);
        const std::shared_ptr<CLoadedRaw> loaded = raw.Open();
        py::gil_scoped_release released;
        const std::lock_guard<std::mutex> lock(m_lock);
        CheckAlike(facts);
        if (!AddFrame(m_stack, loaded->Raw().Samples()))
            throw py::value_error("a stack holds at most " + std::to_string(kMaxStackFrames) + " frames");
        if (!m_first)
            m_first = facts;
    }

    void Merge(CPythonStack& other)
    {
        if (&other == this)
            throw py::value_error("a stack cannot be merged into itself");
        if (other.m_kind != m_kind)
            throw py::value_error("a stack of " + other.Kind() + " cannot be merged into one of " + Kind());
        py::gil_scoped_release released;
        const std::scoped_lock lock(m_lock, other.m_lock);
        if (other.m_first)
            CheckAlike(*other.m_first);
        if (!MergeStacks(m_stack, other.m_stack))
            throw py::value_error(m_stack.selection.runs != other.m_stack.selection.runs
                                      ? "the stacks are of different areas"
                                      : "a stack holds at most " + std::to_string(kMaxStackFrames) + " frames");
        if (!m_first)
            m_first = other.m_first;
    }

    StackFigures Figures(double sigma, double deadBelow)
    {
        if (m_stack.frames == 0)
            throw py::value_error("the stack holds no frame");
        if (!(sigma > 0))
            throw py::value_error("sigma must be above 0");
        if (!(deadBelow > 0 && deadBelow < 1))
            throw py::value_error("dead_below must lie between 0 and 1");
        py::gil_scoped_release released;
        const std::lock_guard<std::mutex> lock(m_lock);
        return ComputeStackFigures(m_stack, m_kind, {sigma, deadBelow});
    }

    // Pickling: the kind, the area, the first frame's facts and the sums, as
    // bytes in this machine's order (a stack goes to a process of the same
    // build, as Dask's workers are).
    py::tuple State()
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        const auto bytes = [](const auto& values) {
            return py::bytes(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(values[0]));
        };
        py::object first = py::none();
        if (m_first)
            first = py::make_tuple(m_first->name, m_first->camera ? py::object(py::str(*m_first->camera)) : py::none(),
                                   m_first->iso ? py::object(py::int_(*m_first->iso)) : py::none());
        return py::make_tuple(Kind(), Area(), m_stack.frames, first, bytes(m_stack.sums), bytes(m_stack.squares));
    }

    static std::unique_ptr<CPythonStack> FromState(const py::tuple& state)
    {
        if (state.size() != 6)
            throw py::value_error("not the state of a diagraw stack");
        auto stack = std::make_unique<CPythonStack>(state[0].cast<std::string>(), state[1]);
        stack->m_stack.frames = state[2].cast<int64_t>();
        if (!state[3].is_none())
        {
            const py::tuple first = state[3].cast<py::tuple>();
            FrameFacts facts;
            facts.name = first[0].cast<std::string>();
            if (!first[1].is_none())
                facts.camera = first[1].cast<std::string>();
            if (!first[2].is_none())
                facts.iso = first[2].cast<uint32_t>();
            stack->m_first = facts;
        }
        const auto fill = [](auto& values, py::handle data) {
            const std::string text = data.cast<std::string>();
            if (text.size() != values.size() * sizeof(values[0]))
                throw py::value_error("not the state of a diagraw stack");
            std::memcpy(values.data(), text.data(), text.size());
        };
        fill(stack->m_stack.sums, state[4]);
        fill(stack->m_stack.squares, state[5]);
        if (stack->m_stack.frames < 0 || stack->m_stack.frames > kMaxStackFrames)
            throw py::value_error("not the state of a diagraw stack");
        return stack;
    }

private:
    // Refuses (ValueError) a frame unlike the first; with the lock held.
    void CheckAlike(const FrameFacts& facts) const
    {
        if (!m_first)
            return;
        if (const std::optional<FrameRefusal> refusal = RefusalOfFrames({*m_first, facts}))
        {
            py::gil_scoped_acquire held;
            Refuse(facts.name, refusal->reason);
        }
    }

    StackKind m_kind;
    AreaChoice m_area;
    FrameStack m_stack;
    std::optional<FrameFacts> m_first;
    std::mutex m_lock;
};

std::string DefectsJson(const StackFigures* darks, const StackFigures* flats, py::handle gain, py::handle area)
{
    if (darks == nullptr && flats == nullptr)
        throw py::value_error("defects needs darks or flats");
    if (darks != nullptr && darks->kind != StackKind::Darks)
        throw py::value_error("darks must be the figures of a stack of darks");
    if (flats != nullptr && flats->kind != StackKind::Flats)
        throw py::value_error("flats must be the figures of a stack of flats");
    const double gainValue = gain.is_none() ? 0.0 : gain.cast<double>();
    if (!gain.is_none() && !(gainValue > 0))
        throw py::value_error("gain must be above 0");
    return DefectsReport({darks, flats, gainValue}, AreaChoiceOf(area).Samples(), ReportForm::Json);
}

}  // namespace

void DefineAnalysis(py::module_& m)
{
    py::class_<CPairResult>(m, "_PairFigures", "The figures of one pair of frames, for _ptc_json.");
    py::class_<StackFigures>(m, "_StackFigures", "The figures of one stack, for _defects_json.");
    m.def("_pair", &Pair, py::arg("a"), py::arg("b"), py::arg("area") = py::none());
    m.def("_pair_json", &PairJson, py::arg("pair"), py::arg("area") = py::none());
    m.def("_ptc_json", &PtcJson, py::arg("dark"), py::arg("flats"), py::arg("area") = py::none());
    m.def("_fields_json", &FieldsJson, py::arg("raw"), py::arg("area") = py::none());
    m.def("_defects_json", &DefectsJson, py::arg("darks"), py::arg("flats"), py::arg("gain") = py::none(),
          py::arg("area") = py::none());
    py::class_<CPythonStack>(m, "_Stack", "The accumulators of a stack; see diagraw.analysis.Stack.")
        .def(py::init<const std::string&, py::handle>(), py::arg("kind") = "darks", py::arg("area") = py::none())
        .def_property_readonly("kind", &CPythonStack::Kind)
        .def_property_readonly("frames", &CPythonStack::Frames)
        .def_property_readonly("area", &CPythonStack::Area)
        .def("add", &CPythonStack::Add, py::arg("raw"))
        .def("merge", &CPythonStack::Merge, py::arg("other"))
        .def("_figures", &CPythonStack::Figures, py::arg("sigma"), py::arg("dead_below"))
        .def(py::pickle([](CPythonStack& stack) { return stack.State(); },
                        [](const py::tuple& state) { return CPythonStack::FromState(state); }));
}
