// The Python module diagraw: one X10 raw file as numpy arrays, on the same
// library and with the same bytes as the program.
//
//   diagraw.load(path) -> Raw
//   Raw.fields, .mosaic, .colours, .site_classes      the samples and the lattice
//   Raw.field_preview(f), .mosaic_preview(), .demosaic(), .upright()
//                                                      the images, RGB, top row first
//   Raw.header, .metadata, .stats(area=None), .explain(x, y)
//                                                      the probe's facts as dicts
//   Raw.save(path=None)                                the program's four files
//
// This file only turns Python objects into C++ ones and back; the work is in
// python/LoadedRaw.h. Every heavy step runs with the GIL released. An array
// keeps what it shows alive by a capsule, its base, holding a share of the
// owner; the Raw's own arrays are read-only, the images new arrays.
#include "platform/Files.h"
#include "platform/Workers.h"
#include "python/LoadedRaw.h"
#include "python/PythonRaw.h"
#include "python/PythonErrors.h"
#include "raw/Lattice.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <limits>
#include <utility>
#include <vector>

namespace py = pybind11;

// The int that value's __index__ gives (TypeError for anything without one).
py::object IndexOf(py::handle value)
{
    py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index)
        throw py::error_already_set();
    return index;
}

// A whole number from anything with __index__ (TypeError otherwise); values
// beyond 64 bits saturate, as they lie outside every range checked anyway.
int64_t WholeNumber(py::handle value)
{
    const py::object index = IndexOf(value);
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow != 0)
        return overflow > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return number;
}

py::object FromJson(const std::string& text)
{
    return py::module_::import("json").attr("loads")(text);
}

// An area (x, y, width, height) from any sequence of four whole numbers
// (TypeError otherwise); ValueError in the probe's words for one that is
// empty or reaches outside the side x side image.
ImageArea AreaOf(py::handle value, int32_t side)
{
    if (!py::isinstance<py::sequence>(value) || py::isinstance<py::str>(value) || py::len(value) != 4)
        throw py::type_error("area must be a sequence of four whole numbers (x, y, width, height), not " +
                             std::string(py::repr(value)));
    const py::sequence numbers = py::reinterpret_borrow<py::sequence>(value);
    const ImageArea area = {WholeNumber(numbers[0]), WholeNumber(numbers[1]), WholeNumber(numbers[2]),
                            WholeNumber(numbers[3])};
    const Status status = CheckArea(area, side);
    if (status != kStatusOk)
        throw py::value_error(DescribeAreaProblem(status, area, side));
    return area;
}

namespace
{

// A C-ordered numpy array of shape over data, whose base holds a share of
// owner. A view of the Raw's samples is read-only; an image is the caller's.
template <typename T>
py::array ArrayOver(std::shared_ptr<const void> owner, const T* data, std::vector<py::ssize_t> shape, bool writeable)
{
    auto share = std::make_unique<std::shared_ptr<const void>>(std::move(owner));
    py::capsule base(share.get(), [](void* kept) { delete static_cast<std::shared_ptr<const void>*>(kept); });
    share.release();
    py::array array(py::dtype::of<T>(), std::move(shape), std::vector<py::ssize_t>{}, data, base);
    if (!writeable)
        array.attr("setflags")(py::arg("write") = false);
    return array;
}

py::array ImageArray(const std::shared_ptr<uint8_t[]>& rgb, int32_t width, int32_t height)
{
    return ArrayOver<uint8_t>(rgb, rgb.get(), {height, width, 3}, true);
}

// The decimal digits of that int, as a message names the caller's number:
// the value given, never the one it was clamped to.
std::string DigitsOf(py::handle value)
{
    return py::str(IndexOf(value));
}

// A path as the C library takes it, from str, bytes or os.PathLike
// (TypeError otherwise); named is what os.fspath made of it, for messages.
std::string FileSystemPath(py::handle path, py::object& named)
{
    named = py::module_::import("os").attr("fspath")(path);
    const py::bytes encoded = py::module_::import("os").attr("fsencode")(named);
    std::string text = encoded;
    if (text.find('\0') != std::string::npos)
        throw py::value_error("embedded null byte");
    return text;
}

int32_t WorkersOf(py::handle workerCount)
{
    const int64_t workers = workerCount.is_none() ? WorkerCount() : WholeNumber(workerCount);
    if (workers < 1 || workers > kMaxWorkers)
        throw py::value_error("workers must be 1 to " + std::to_string(kMaxWorkers) + ", not " +
                              DigitsOf(workerCount));
    return static_cast<int32_t>(workers);
}

CPythonRaw Load(py::handle path, py::handle workerCount)
{
    py::object named;
    const std::string encoded = FileSystemPath(path, named);
    const int32_t workers = WorkersOf(workerCount);
    Status status = kStatusOk;
    std::string failure;
    std::shared_ptr<CLoadedRaw> loaded;
    {
        py::gil_scoped_release released;
        loaded = CLoadedRaw::Load(encoded, workers, status, failure);
    }
    if (!loaded)
        RaiseStatus(status, failure, named);
    return CPythonRaw(std::move(loaded), named);
}

// A whole file held by any object of the buffer protocol, read as a file is
// read; name, a str or None, stands for its path.
CPythonRaw FromBytes(py::handle data, py::handle name, py::handle workerCount)
{
    if (!name.is_none() && !py::isinstance<py::str>(name))
        throw py::type_error("name must be a str or None, not " + std::string(py::str(py::type::handle_of(name).attr("__name__"))));
    const int32_t workers = WorkersOf(workerCount);
    Py_buffer view;
    if (PyObject_GetBuffer(data.ptr(), &view, PyBUF_SIMPLE) != 0)
    {
        PyErr_Clear();
        throw py::type_error("from_bytes() takes a buffer holding a whole file (bytes, bytearray, memoryview, a "
                             "contiguous numpy array), not " +
                             std::string(py::str(py::type::handle_of(data).attr("__name__"))));
    }
    const std::unique_ptr<Py_buffer, void (*)(Py_buffer*)> held(&view, PyBuffer_Release);
    const std::string label = name.is_none() ? std::string("<bytes>") : std::string(py::str(name));
    Status status = kStatusOk;
    std::string failure;
    std::shared_ptr<CLoadedRaw> loaded;
    {
        py::gil_scoped_release released;
        loaded = CLoadedRaw::LoadBytes(static_cast<const uint8_t*>(view.buf), static_cast<int64_t>(view.len), label,
                                       workers, status, failure);
    }
    if (!loaded)
        RaiseStatus(status, failure, py::str(label));
    return CPythonRaw(std::move(loaded), py::reinterpret_borrow<py::object>(name));
}

py::array Fields(const CPythonRaw& raw)
{
    const std::shared_ptr<CLoadedRaw> loaded = raw.Open();
    const uint16_t* fields = nullptr;
    {
        py::gil_scoped_release released;
        fields = loaded->Fields();
    }
    const CRawX10& r = loaded->Raw();
    return ArrayOver<uint16_t>(loaded, fields, {2, r.m_height, r.m_width}, false);
}

py::array Mosaic(const CPythonRaw& raw)
{
    const std::shared_ptr<CLoadedRaw> loaded = raw.Open();
    return ArrayOver<uint16_t>(loaded, loaded->Raw().m_mosaic.get(), {loaded->Side(), loaded->Side()}, false);
}

py::array Codes(const CPythonRaw& raw, CellCodes which)
{
    const int32_t side = raw.Open()->Side();
    std::shared_ptr<const uint8_t[]> codes;
    {
        py::gil_scoped_release released;
        codes = CellCodesOfMosaic(which);
    }
    return ArrayOver<uint8_t>(codes, codes.get(), {side, side}, false);
}

py::array FieldPreview(const CPythonRaw& raw, py::handle fieldNumber)
{
    const int64_t field = WholeNumber(fieldNumber);
    if (field != 0 && field != 1)
        throw py::index_error("field " + DigitsOf(fieldNumber) + " does not exist: a raw file has fields 0 and 1");
    const std::shared_ptr<CLoadedRaw> loaded = raw.Open();
    std::shared_ptr<uint8_t[]> rgb;
    {
        py::gil_scoped_release released;
        rgb = loaded->FieldPreview(static_cast<int32_t>(field));
    }
    return ImageArray(rgb, loaded->Raw().m_width, loaded->Raw().m_height);
}

// The mosaic preview or the demosaiced image, Side() x Side().
template <std::shared_ptr<uint8_t[]> (CLoadedRaw::*Render)() const>
py::array SquareImage(const CPythonRaw& raw)
{
    const std::shared_ptr<CLoadedRaw> loaded = raw.Open();
    std::shared_ptr<uint8_t[]> rgb;
    {
        py::gil_scoped_release released;
        rgb = ((*loaded).*Render)();
    }
    return ImageArray(rgb, loaded->Side(), loaded->Side());
}

py::array Upright(const CPythonRaw& raw)
{
    const std::shared_ptr<CLoadedRaw> loaded = raw.Open();
    std::shared_ptr<uint8_t[]> rgb;
    {
        py::gil_scoped_release released;
        rgb = loaded->Upright();
    }
    return ImageArray(rgb, 2 * loaded->Raw().m_width, 2 * loaded->Raw().m_height);
}

// Raw.header, or Raw.metadata with metadata: OSError when load() could not
// read the file's first bytes.
py::object Header(const CPythonRaw& raw, bool metadata)
{
    Status status = kStatusOk;
    const std::shared_ptr<CLoadedRaw> loaded = raw.Open();
    const std::string json = metadata ? loaded->MetadataJson(status) : loaded->HeaderJson(status);
    if (status != kStatusOk)
        RaiseStatus(status, DescribeStatus(status), raw.Path());
    return FromJson(json);
}

py::object Stats(const CPythonRaw& raw, py::handle areaValue)
{
    const std::shared_ptr<CLoadedRaw> loaded = raw.Open();
    const bool whole = areaValue.is_none();
    const ImageArea area = whole ? ImageArea{} : AreaOf(areaValue, loaded->Side());
    std::string json;
    {
        py::gil_scoped_release released;
        json = whole ? loaded->StatsJson() : loaded->AreaStatsJson(area);
    }
    return FromJson(json);
}

py::object Explain(const CPythonRaw& raw, py::handle xNumber, py::handle yNumber)
{
    const int64_t x = WholeNumber(xNumber);
    const int64_t y = WholeNumber(yNumber);
    const std::shared_ptr<CLoadedRaw> loaded = raw.Open();
    const int32_t side = loaded->Side();
    if (x < 0 || x >= side || y < 0 || y >= side)
        throw py::index_error(PixelOutsideImage(DigitsOf(xNumber), DigitsOf(yNumber), side));
    std::string json;
    {
        py::gil_scoped_release released;
        json = loaded->PixelJson(static_cast<int32_t>(x), static_cast<int32_t>(y));
    }
    return FromJson(json);
}

py::dict Save(const CPythonRaw& raw, py::handle path)
{
    const std::shared_ptr<CLoadedRaw> loaded = raw.Open();
    py::object named;
    const std::string stem = FileSystemPath(path.is_none() ? py::handle(raw.Path()) : path, named);
    std::vector<std::pair<std::string, Status>> failures;
    {
        py::gil_scoped_release released;
        failures = loaded->Save(stem);
    }
    py::dict failed;
    for (const auto& [name, status] : failures)
    {
        const py::object pyName = py::module_::import("os").attr("fsdecode")(py::bytes(name));
        failed[pyName] = ExceptionOfStatus(status, DescribeStatus(status), pyName);
    }
    return failed;
}

constexpr const char* kNoDirectRaw = "diagraw.Raw cannot be created directly; diagraw.load(path) makes one";

PyObject* RefuseNewRaw(PyTypeObject*, PyObject*, PyObject*)
{
    PyErr_SetString(PyExc_TypeError, kNoDirectRaw);
    return nullptr;
}

std::string InputWarning(const CPythonRaw& raw)
{
    return raw.Open()->InputWarning();
}

py::str Repr(const CPythonRaw& raw)
{
    return py::str("<diagraw.Raw {!r}, {} bytes{}>")
        .format(raw.Path(), raw.Size(), raw.Closed() ? ", closed" : "");
}

}  // namespace

PYBIND11_MODULE(_core, m)
{
    m.doc() = "The compiled part of the diagraw package: use the package, import diagraw.";

    // The signatures are written in the docstrings, with the types a caller
    // passes rather than the binding's own.
    py::options options;
    options.disable_function_signatures();

    m.attr("__version__") = DIAGRAW_VERSION;
    m.attr("FIELD_WIDTH") = CRawX10::kFieldWidth;
    m.attr("FIELD_HEIGHT") = CRawX10::kFieldHeight;
    m.attr("MOSAIC_SIDE") = CRawX10::kFieldWidth + CRawX10::kFieldHeight;
    m.attr("TAIL_BYTES") = CRawX10::kTailBytes;
    // The codes of Raw.colours and Raw.site_classes (raw/Lattice.h).
    py::list colourNames;
    for (const auto& [constant, colour] : {std::pair{"COLOUR_RED", CellColour::Red},
                                           std::pair{"COLOUR_GREEN", CellColour::Green},
                                           std::pair{"COLOUR_BLUE", CellColour::Blue}})
    {
        m.attr(constant) = static_cast<int>(colour);
        colourNames.append(NameOfColour(colour));
    }
    m.attr("COLOUR_NAMES") = py::tuple(colourNames);
    py::list siteNames;
    for (int k = 0; k < kSiteClassCount; ++k)
    {
        const std::string name = NameOfSiteClass(static_cast<SiteClass>(k));
        m.attr(("SITE_" + name).c_str()) = k;
        siteNames.append(name);
    }
    m.attr("SITE_CLASS_NAMES") = py::tuple(siteNames);

    // A save() that a signal ends removes its temporary, as the program's
    // does; only signals still at their default action are taken.
    platform::InstallOutputCleanup();

    // The class is named after the package users import, diagraw.Raw, in its
    // type name as in its messages.
    m.attr("__name__") = "diagraw";
    py::class_<CPythonRaw> rawClass(m, "Raw", R"doc(One X10 raw file, loaded by diagraw.load().

Usable in a with statement; leaving it, or close(), lets go of the samples
(arrays already handed out keep theirs). Any other use of a closed Raw
raises ValueError.)doc");
    rawClass
        .def_property_readonly("path", &CPythonRaw::Path, "The path given to load(), as os.fspath gave it.")
        .def_property_readonly("size", &CPythonRaw::Size, "Bytes in the file.")
        .def_property_readonly("header_bytes", &CPythonRaw::HeaderBytes,
                               "Bytes before the 18,937,856-byte tail that holds the fields (never read).")
        .def_property_readonly(
            "header", [](const CPythonRaw& raw) { return Header(raw, false); },
            R"doc(What the file says it is, as a dict (read by load()).

The facts and keys of `diagraw-probe info FILE --json`: size, header_bytes,
signature and, for a RAF, the fields of its header with the place of each
section, and "exif" where the file has Exif metadata. The conversion never
reads them. OSError when load() could not read the file's first bytes.)doc")
        .def_property_readonly(
            "metadata", [](const CPythonRaw& raw) { return Header(raw, true); },
            R"doc(What the camera wrote about the shot, as a dict (read by load()); None without it.

The keys of "exif" in `diagraw-probe info FILE --json`, each where the
Exif block of the RAF's preview holds it: make, model, date_time,
exposure_time, exposure_seconds, f_number, iso, focal_length_mm,
focal_length_35mm, exposure_bias_ev, flash, flash_fired, orientation,
white_balance, software. Exif that cannot be read is none. OSError when
load() could not read the file's first bytes.)doc")
        .def_property_readonly("closed", &CPythonRaw::Closed, "True after close() or the end of a with block.")
        .def_property_readonly("fields", &Fields, R"doc(The unpacked 12-bit samples: uint16, (2, 2144, 2944).

Field, then row, then column.

Read-only; copied from the loader's two buffers on first use, then shared.)doc")
        .def_property_readonly("mosaic", &Mosaic, R"doc(The composite mosaic: uint16, (5088, 5088).

mosaic[r, c]: row r counts down (south), column c to the right (east).

North up and not mirrored, before any white balance; cells outside the
diamond that the fields cover are 0. A read-only view, no copy.)doc")
        .def_property_readonly(
            "colours", [](const CPythonRaw& raw) { return Codes(raw, CellCodes::Colours); },
            R"doc(The filter colour of every mosaic cell: uint8, (5088, 5088).

COLOUR_RED, COLOUR_GREEN or COLOUR_BLUE; COLOUR_NAMES[code] gives its name.

The same for every file: read-only, one table shared by every array alive.)doc")
        .def_property_readonly(
            "site_classes", [](const CPythonRaw& raw) { return Codes(raw, CellCodes::SiteClasses); },
            R"doc(The site class of every mosaic cell: uint8, (5088, 5088), SITE_G00 to SITE_B1.

SITE_CLASS_NAMES[code] gives its name. Read-only and shared, like colours.)doc")
        .def("field_preview", &FieldPreview, py::arg("field"),
             R"doc(field_preview($self, field)
--

The preview of field 0 or 1: uint8, (2144, 2944, 3), RGB, top row first.

The pixels of the program's <path>.f0.bmp or .f1.bmp as a viewer shows them.
A new array. IndexError for another field number.)doc")
        .def("mosaic_preview", &SquareImage<&CLoadedRaw::MosaicPreview>,
             R"doc(mosaic_preview($self)
--

The preview of the raw mosaic: uint8, (5088, 5088, 3), RGB, top row first.

The pixels of <path>.src.bmp as a viewer shows them, mirrored left to right
like the file. A new array.)doc")
        .def("demosaic", &SquareImage<&CLoadedRaw::Demosaiced>,
             R"doc(demosaic($self)
--

The demosaiced image: uint8, (5088, 5088, 3), RGB, top row first.

The pixels of <path>.bmp as a viewer shows them, mirrored left to right like
the file. The white balance works on a copy: mosaic stays as it was. A new
array.)doc")
        .def("upright", &Upright, R"doc(upright($self)
--

The upright view: uint8, (4288, 5888, 3), RGB, top row first.

The demosaiced image turned back onto the fields' grid: field 0's cell
(y, x) at [2y, 2x], field 1's at [2y + 1, 2x + 1], each other pixel the mean
of its demosaiced edge neighbours. The pixels of `diagraw-export FILE
upright OUT.tif`. A new array.)doc")
        .def("stats", &Stats, py::arg("area") = py::none(), R"doc(stats($self, area=None)
--

The statistics of both fields by filter colour, as a dict.

The facts and keys of `diagraw-probe stats FILE --json`: size, header_bytes
and, for each field, count, min, max, mean, stddev, zeros, clipped, p1, p50,
p99 and a 64-bin histogram of each colour.

With area=(x, y, width, height), a rectangle of pixels of demosaic() (x to
the right, y down), only the samples of the cells it shows, with the keys
of `stats FILE --area X Y W H --json`. ValueError, in the probe's words,
for an area that is empty or reaches outside the image; TypeError for
anything but four whole numbers.)doc")
        .def("explain", &Explain, py::arg("x"), py::arg("y"),
             R"doc(explain($self, x, y)
--

Why pixel (x, y) of the demosaiced image has its colour, as a dict.

x counts to the right and y down from the top left, as in demosaic()[y, x].
The facts and keys of `diagraw-probe cell FILE X Y --json`. IndexError for a
pixel outside the image.)doc")
        .def("_save_images", &Save, py::arg("path") = py::none(),
             R"doc(_save_images($self, path=None, /)
--

The four files of save(); returns the dict of the images not written.)doc")
        .def_property_readonly("_input_warning", &InputWarning,
                               "Why the program would warn about this file, or an empty text.")
        .def("close", &CPythonRaw::Close, "close($self)\n--\n\nLets go of the samples; arrays handed out keep theirs.")
        .def("__enter__", [](py::object self) { return self; }, "__enter__($self)\n--\n\nReturns the Raw itself.")
        .def("__exit__", [](CPythonRaw& raw, py::args) { raw.Close(); }, "__exit__($self, *exc_info)\n--\n\nclose().")
        .def("__repr__", &Repr, "__repr__($self)\n--\n\nThe path, the size, and whether the Raw is closed.");
    // Only load() makes a Raw (its casts allocate the object without tp_new).
    // Raw.__new__ refuses with a pointer to load(); so does the type's slot,
    // which also makes object.__new__(Raw) and the base's __new__ refuse, as
    // CPython does for a base whose slot differs. The slot is set last:
    // setting __new__ would reset it.
    rawClass.attr("__new__") = py::cpp_function([](py::args, py::kwargs) -> py::object { throw py::type_error(kNoDirectRaw); },
                                                py::name("__new__"), py::doc("Refuses: diagraw.load() makes a Raw."));
    m.attr("__name__") = "diagraw._core";
    auto* rawType = reinterpret_cast<PyTypeObject*>(rawClass.ptr());
    rawType->tp_new = RefuseNewRaw;
    PyType_Modified(rawType);
    DefineAnalysis(m);

    m.def("from_bytes", &FromBytes, py::arg("data"), py::arg("name") = py::none(), py::kw_only(),
          py::arg("workers") = py::none(), R"doc(from_bytes(data, name=None, *, workers=None)
--

A Raw of a whole file held in a buffer; see diagraw.from_bytes.)doc");
    m.def("load", &Load, py::arg("path"), py::kw_only(), py::arg("workers") = py::none(),
          R"doc(load(path, *, workers=None)
--

Reads an X10 raw file as the diagraw program does and returns a Raw.

path is a str, bytes or os.PathLike. Only the last 18,937,856 bytes are read:
field 0, 2,048 bytes that are skipped, field 1; the header is parsed for
Raw.header alone, while the file is open, and never fails the load.
A file that cannot be opened or read raises OSError (FileNotFoundError,
PermissionError, ...) with errno and filename; one that is not a regular
file, or is too short, raises ValueError in the program's words.

Every operation of the Raw spreads its work over workers threads: by
default one per processor the process may use (at most 8), as the program
does. workers=1 keeps each call on the calling thread, for programs that
convert several files in threads of their own.)doc");
}
